// A tiny plug-in module for the module tests. Built twice, as
// sample_module_a.ztm and sample_module_b.ztm, told apart by ZtnSampleVariant.
// Plain C exports and no C++ statics, so the loader can unload it again.

#ifndef ZTN_SAMPLE_VARIANT
#define ZTN_SAMPLE_VARIANT 0
#endif

extern "C" int ZtnSampleAdd(int a, int b) { return a + b; }

extern "C" int ZtnSampleVariant() { return ZTN_SAMPLE_VARIANT; }
