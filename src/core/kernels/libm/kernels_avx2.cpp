// The kernels for AVX2 with FMA: the only file compiled with those
// instruction sets enabled (CMakeLists.txt), so nothing here may be
// reached before vector_libm.cpp has checked the processor. The table is
// constant-initialised: no code of this file runs at load time.
#include "kernels/libm/run_lanes.hpp"
#include "kernels/libm/simd_avx2.hpp"

namespace zyl::kernels::libm {

constinit const IsaKernels kAvx2Kernels = isa_kernels<Avx2>("avx2");

}  // namespace zyl::kernels::libm
