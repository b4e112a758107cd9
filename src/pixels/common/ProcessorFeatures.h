#pragma once

// What the processor offers beyond the baseline the module is compiled for.
// Vector paths are compiled with target pragmas and taken only after these
// checks, so that the 32-bit module also runs on a processor without them.
bool ProcessorHasSse2();
bool ProcessorHasSsse3();
bool ProcessorHasSse41();
bool ProcessorHasAvx2();
// AVX-512 Foundation, Byte and Word, and Vector Byte Manipulation.
bool ProcessorHasAvx512();
