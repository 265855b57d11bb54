// The tick's column stages in AVX-512 lanes (eight lanes). Built with
// -mavx512f -mavx512dq; nothing here is called unless the processor has
// both.
#define KINDLER_LANES_AVX512 1
#include "engine/tick/lanes/lanes.h"

#include <immintrin.h>

#include <cstdint>

namespace {
#include "engine/tick/lanes/stages.h"
} // namespace

const LANEKERNELS *avx512kernels()
{
    static const LANEKERNELS k = {stagetemps, stageamounts, stagegather, stagearrayop};
    return &k;
}
