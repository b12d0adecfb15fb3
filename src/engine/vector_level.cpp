#include "engine/vector_level.h"

namespace {

VectorLevel best_level() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        return VectorLevel::Avx2;
    }
#endif
#if defined(__SSE2__)
    return VectorLevel::Sse2;
#else
    return VectorLevel::Scalar;
#endif
}

VectorLevel& chosen_level() {
    static VectorLevel level = best_level();
    return level;
}

}  // namespace

VectorLevel vector_level() {
    return chosen_level();
}

void set_vector_level(VectorLevel level) {
    const VectorLevel best = best_level();
    chosen_level() = static_cast<int>(level) > static_cast<int>(best) ? best : level;
}
