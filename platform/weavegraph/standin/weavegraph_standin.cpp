// Placeholder until the stand-in runtime lands: every call fails, so nothing pretends to run.
#include "weavegraph.h"

extern "C" {
weavegraph_t *weavegraph_create(const void *, const void *) { return nullptr; }
void weavegraph_delete(weavegraph_t *) {}
weavegraph_version_t weavegraph_get_version(void) { return {0, 0, 0}; }
int weavegraph_set_logger(weavegraph_logger_fn, void *) { return 1; }
int weavegraph_set_host_services(weavegraph_t *, const weavegraph_host_services_t *, void *) { return 1; }
int weavegraph_parse_flow_linear(weavegraph_t *, const uint8_t *, size_t) { return 1; }
int weavegraph_load_flow_linear(weavegraph_t *, const char *) { return 1; }
int weavegraph_set_parameters(weavegraph_t *, const uint8_t *, size_t) { return 1; }
int weavegraph_run(weavegraph_t *, weavegraph_should_stop_fn, void *) { return 1; }
}
