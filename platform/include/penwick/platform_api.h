/* Visibility of the platform library's own API. */
#ifndef PENWICK_PLATFORM_API_H
#define PENWICK_PLATFORM_API_H
#define PW_PLATFORM_API __attribute__((visibility("default")))
#endif
