/* C interface of the graph runtime, libWeaveGraph.so. Fixed by the runtime's maker: do not change. */
#ifndef WEAVEGRAPH_H
#define WEAVEGRAPH_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct weavegraph weavegraph_t;
typedef struct weavegraph_version
{
    uint32_t major, minor, patch;
} weavegraph_version_t;
typedef void (*weavegraph_logger_fn)(void *context, uint32_t level, const char *message);
typedef int (*weavegraph_frame_fn)(void *context, uint32_t output_id, const uint8_t *frame, int32_t length);
typedef bool (*weavegraph_should_stop_fn)(void *context);
typedef struct weavegraph_host_services
{
    weavegraph_frame_fn on_frame;
    void *reserved; /* always NULL */
} weavegraph_host_services_t;

weavegraph_t *weavegraph_create(const void *reserved0, const void *reserved1);
void weavegraph_delete(weavegraph_t *graph);
weavegraph_version_t weavegraph_get_version(void);
int weavegraph_set_logger(weavegraph_logger_fn logger, void *context);
int weavegraph_set_host_services(weavegraph_t *graph, const weavegraph_host_services_t *services, void *context);
int weavegraph_parse_flow_linear(weavegraph_t *graph, const uint8_t *flow, size_t size);
int weavegraph_load_flow_linear(weavegraph_t *graph, const char *path);
int weavegraph_set_parameters(weavegraph_t *graph, const uint8_t *parameters, size_t size);
int weavegraph_run(weavegraph_t *graph, weavegraph_should_stop_fn should_stop, void *context);

#ifdef __cplusplus
}
#endif

#endif
