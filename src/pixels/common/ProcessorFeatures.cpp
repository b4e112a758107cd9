#include "pixels/common/ProcessorFeatures.h"

bool ProcessorHasSse2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2");
}

bool ProcessorHasSsse3()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}

bool ProcessorHasSse41()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse4.1");
}

bool ProcessorHasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

bool ProcessorHasAvx512()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi");
}
