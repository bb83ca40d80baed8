/* Window handles: the receivers of the libraries' notifications and device-change notices.
   The front end (or a test) owns the object behind a handle; a null handle is valid and
   receives nothing. C++ code uses platform/window.hpp for the operations. On Windows a handle
   is the system's own window handle (HWND), declared here without <windows.h>. */
#ifndef PENWICK_WINDOW_H
#define PENWICK_WINDOW_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
typedef struct HWND__* PwHwnd;
#else
typedef struct PwWindow* PwHwnd;
#endif

#ifdef __cplusplus
}
#endif

#endif
