#pragma once

#include <cstdint>

// Every entry point describes its call with a wide printf-style message. The
// shipped module discards them; a diagnostic build (DDRAW_TRACE_CALLS) formats
// them and hands them to a sink, OutputDebugStringW unless one is set.
//
// Numbers and pointers are passed to the format as 32-bit values, the width the
// game sees: pointers and handles print as their low 32 bits. Wide strings pass
// through for %ls.

inline const wchar_t* TraceArgument(const wchar_t* text) { return text; }
inline unsigned TraceArgument(unsigned value) { return value; }
inline unsigned TraceArgument(unsigned long value) { return static_cast<unsigned>(value); }
inline unsigned TraceArgument(int value) { return static_cast<unsigned>(value); }
inline unsigned TraceArgument(long value) { return static_cast<unsigned>(value); }
inline unsigned TraceArgument(const void* pointer)
{
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer));
}

#ifdef DDRAW_TRACE_CALLS

using TraceSink = void (*)(const wchar_t* message);
void SetTraceSink(TraceSink sink);
void TraceFormatted(const wchar_t* format, ...);

template <class... Args>
void TraceCall(const wchar_t* format, Args... args)
{
    TraceFormatted(format, TraceArgument(args)...);
}

#else

template <class... Args>
inline void TraceCall(const wchar_t*, Args...)
{
}

#endif
