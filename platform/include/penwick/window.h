/* Window handles: the receivers of the libraries' notifications and device-change notices.
   The front end (or a test) owns the object behind a handle; a null handle is valid and
   receives nothing. C++ code uses platform/window.hpp for the operations. */
#ifndef PENWICK_WINDOW_H
#define PENWICK_WINDOW_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PwWindow* PwHwnd;

#ifdef __cplusplus
}
#endif

#endif
