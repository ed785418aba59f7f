#pragma once

#include <cstdio>  // defines the mingw runtime's printf archetype

// Lets the compiler check printf-style calls; mingw's runtime has its own archetype.
#if defined(__MINGW32__)
#define KORVEL_PRINTF_FORMAT(fmt, args) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, args)))
#elif defined(__GNUC__)
#define KORVEL_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define KORVEL_PRINTF_FORMAT(fmt, args)
#endif
