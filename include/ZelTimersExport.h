// ZelTimers: export macro for the four public classes.
//
// Hand-written so that a consumer needs nothing but this include/ folder.
// Building the shared library defines ZELTIMERS_BUILDING; linking a static
// copy of the sources defines ZELTIMERS_STATIC.
#ifndef ZELTIMERS_EXPORT_H
#define ZELTIMERS_EXPORT_H

#if defined(ZELTIMERS_STATIC)
#define ZELTIMERS_API
#elif defined(_WIN32) || defined(__CYGWIN__)
#if defined(ZELTIMERS_BUILDING)
#define ZELTIMERS_API __declspec(dllexport)
#else
#define ZELTIMERS_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define ZELTIMERS_API __attribute__((visibility("default")))
#else
#define ZELTIMERS_API
#endif

#endif
