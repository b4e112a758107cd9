#include "module/Trace.h"

#ifdef DDRAW_TRACE_CALLS

#include <windows.h>

#include <cstdarg>
#include <cwchar>

namespace {

TraceSink traceSink = nullptr;

}

void SetTraceSink(TraceSink sink)
{
    traceSink = sink;
}

void TraceFormatted(const wchar_t* format, ...)
{
    wchar_t message[512];
    va_list arguments;
    va_start(arguments, format);
    _vsnwprintf(message, sizeof message / sizeof message[0] - 1, format, arguments);
    va_end(arguments);
    message[sizeof message / sizeof message[0] - 1] = L'\0';
    if (traceSink != nullptr)
        traceSink(message);
    else
        OutputDebugStringW(message);
}

#endif
