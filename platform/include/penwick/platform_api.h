/* Visibility of the platform library's own API. */
#ifndef PENWICK_PLATFORM_API_H
#define PENWICK_PLATFORM_API_H
#if defined(_WIN32)
#ifdef PW_PLATFORM_BUILD
#define PW_PLATFORM_API __declspec(dllexport)
#else
#define PW_PLATFORM_API __declspec(dllimport)
#endif
#else
#define PW_PLATFORM_API __attribute__((visibility("default")))
#endif
#endif
