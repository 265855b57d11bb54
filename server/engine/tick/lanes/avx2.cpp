// The tick's column stages in AVX2 lanes with FMA (four lanes). Built with
// -mavx2 -mfma; nothing here is called unless the processor has both.
#include "engine/tick/lanes/lanes.h"

#include <immintrin.h>

#include <cstdint>

namespace {
#include "engine/tick/lanes/stages.h"
} // namespace

const LANEKERNELS *avx2kernels()
{
    static const LANEKERNELS k = {stagetemps, stageamounts, stagegather, stagearrayop};
    return &k;
}
