// The kernels for AVX-512 (F and DQ) with FMA: the only file compiled with
// those instruction sets enabled (CMakeLists.txt), so nothing here may be
// reached before vector_libm.cpp has checked the processor. The table is
// constant-initialised: no code of this file runs at load time.
#include "kernels/libm/run_lanes.hpp"
#include "kernels/libm/simd_avx512.hpp"

namespace zyl::kernels::libm {

constinit const IsaKernels kAvx512Kernels = isa_kernels<Avx512>("avx512");

}  // namespace zyl::kernels::libm
