#pragma once
/* FAUTIL_API marks the declarations the shared library exports. The library
 * is built with everything else hidden, so its ABI is exactly what the public
 * headers declare. Valid C and C++; a static link is unaffected. */

#if defined(__GNUC__)
#define FAUTIL_API __attribute__((visibility("default")))
#else
#define FAUTIL_API
#endif
