// engine/vector_clones.h: compile a hot vector pass twice, for the common instruction set
// and for AVX2, the loader picking what the processor has.
#pragma once

// Neither clone contracts to fused multiply-adds, so both give the same bits. The loader
// chooses through a resolver that runs before the thread sanitizer's runtime is set up and
// crashes it, so a thread-sanitized build keeps the common clone only.
#if defined(__SANITIZE_THREAD__)
#define VECTOR_CLONES
#else
#define VECTOR_CLONES [[gnu::target_clones("avx2", "default")]]
#endif
