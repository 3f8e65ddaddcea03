// The formatter of the library's messages, in the syntax of the platform's wvsprintfW, with the
// same texts, done by the library itself: the va_list of the platform formatter is not taken
// the same way by every runtime the DLL runs on.
#pragma once
#include <stdarg.h>

// Formats into `out` (`units` units with the terminator, at least 1) and returns the number of
// units written before the terminator; output beyond the buffer is cut off.
// Conversion: % [-] [0] [width] [.precision] type, with the types
//   s  a wide string ("(null)" for a null pointer; a precision above 0 caps its length)
//   c  a wide character       d i  a signed 32-bit integer
//   u  an unsigned 32-bit integer    x X  the same in lower or upper case hexadecimal
// A precision gives numbers a minimum length, the sign included; the 0 flag pads a right-aligned
// number with zeros to its width. Width and precision are capped to the room left in the buffer.
// %% is a percent sign; any other character after the % (or the end) is no conversion: the
// width, less the precision, pads before it unless it is left-aligned, and it stays as text.
int format_text(wchar_t* out, int units, const wchar_t* format, va_list args);
