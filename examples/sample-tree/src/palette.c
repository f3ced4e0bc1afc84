/* The colour table of the garden map. */
static const char *colour_names[] = { "grey", "green", "brown" };

const char *colour_name(int i) { return colour_names[i % 3]; }
