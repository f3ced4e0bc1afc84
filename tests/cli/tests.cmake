# The ravelin command, run by shell scripts against the built tool. The
# sanitizer build configures without the tools, so this is skipped there.
if(TARGET ravelin_cli)
  foreach(script strings errors files flags safety signals settings compare likegrep lines)
    add_test(NAME cli_${script}
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/${script}.sh $<TARGET_FILE:ravelin_cli>)
    set_tests_properties(cli_${script} PROPERTIES TIMEOUT 120)
  endforeach()
endif()

# make demo's script, on the sample tree shipped in examples/.
if(TARGET ravelin_cli)
  add_test(NAME cli_demo
    COMMAND sh ${PROJECT_SOURCE_DIR}/examples/demo.sh $<TARGET_FILE:ravelin_cli>)
  set_tests_properties(cli_demo PROPERTIES
    PASS_REGULAR_EXPRESSION "14 replacements, 4 files changed.*Only in sample-tree: README.bak"
    FAIL_REGULAR_EXPRESSION "ravelin: ")
endif()
