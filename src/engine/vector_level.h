#pragma once

// Which vector instructions the pass-data kernels use. The widest the processor offers by
// default; tests step down to compare every level with the literal loops.
enum class VectorLevel { Scalar, Sse2, Avx2 };

VectorLevel vector_level();
// Chooses a level; one above what the processor offers falls back to the best it does offer.
void set_vector_level(VectorLevel level);
