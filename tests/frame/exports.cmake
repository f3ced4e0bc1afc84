# Compares the dynamic symbol tables of the two libraries: the threads library
# exports exactly the solo library's symbols plus the two
# Regularexpressiontlsstack entry points, both export only our own names, and
# the solo library uses no thread-specific data.
#
# cmake -DNM=<nm> -DTHREADS_LIB=<libravelin.so> -DSOLO_LIB=<libravelinsolo.so> -P exports.cmake
cmake_minimum_required(VERSION 3.20)

# Symbol names (the last field of each nm line) as a CMake list.
function(symbol_names out)
  execute_process(COMMAND "${NM}" ${ARGN}
    OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} ${ARGN} failed: ${err}")
  endif()
  # Brackets ([abi:cxx11]) would otherwise hold list separators together.
  string(REPLACE "[" "<" text "${text}")
  string(REPLACE "]" ">" text "${text}")
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(names)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES names)
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

set(failures "")
macro(fail text)
  string(APPEND failures "\n  ${text}")
endmacro()

# Exact comparison on the mangled names.
symbol_names(threads -D --defined-only "${THREADS_LIB}")
symbol_names(solo -D --defined-only "${SOLO_LIB}")
set(only_threads ${threads})
list(REMOVE_ITEM only_threads ${solo})
set(only_solo ${solo})
list(REMOVE_ITEM only_solo ${threads})
list(SORT only_threads)
set(expected _ZN25Regularexpressiontlsstack10InitializeEv _ZN25Regularexpressiontlsstack8FinalizeEv)
list(SORT expected)
if(NOT only_threads STREQUAL expected)
  fail("exported by the threads library only: ${only_threads}; expected: ${expected}")
endif()
if(only_solo)
  fail("exported by the solo library only: ${only_solo}")
endif()

# Readable checks on the demangled names.
foreach(lib THREADS SOLO)
  symbol_names(names -D --defined-only -C "${${lib}_LIB}")
  foreach(required
      "RegexClass::RegularExpression::RegularExpression()"
      "RegexClass::RegularExpression::StreamVersion"
      "RegexClass::operator<<(std::ostream&, RegexClass::RegularExpression&)"
      "RegexClass::operator>>(std::istream&, RegexClass::RegularExpression&)"
      "Regularexpressionclass::Initialize()"
      "Regularexpressionclass::Finalize()")
    if(NOT required IN_LIST names)
      fail("${lib}: ${required} is not exported")
    endif()
  endforeach()
  foreach(name IN LISTS names)
    if(NOT name MATCHES "^((typeinfo|typeinfo name|vtable|VTT) for )?(RegexClass|Regularexpressionclass|Regularexpressiontlsstack)::")
      fail("${lib} exports a name that is not ours: ${name}")
    endif()
  endforeach()
endforeach()

symbol_names(solo_uses -D --undefined-only "${SOLO_LIB}")
foreach(name IN LISTS solo_uses)
  if(name MATCHES "^pthread_(key_create|key_delete|getspecific|setspecific)")
    fail("the solo library uses ${name}")
  endif()
endforeach()
symbol_names(threads_uses -D --undefined-only "${THREADS_LIB}")
foreach(fn pthread_key_create pthread_key_delete)
  set(found FALSE)
  foreach(name IN LISTS threads_uses)
    if(name MATCHES "^${fn}(@|$)")
      set(found TRUE)
    endif()
  endforeach()
  if(NOT found)
    fail("the threads library does not use ${fn}")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "export lists:${failures}")
endif()
list(LENGTH solo count)
message(STATUS "export lists agree: ${count} symbols in both, plus the two stack-unit entry points")
