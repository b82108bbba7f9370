// Tests make allocations fail on purpose: the sanitizers must answer them with null, as the
// plain allocator does, instead of stopping the process.
extern "C" {
__attribute__((visibility("default"), used)) const char *__asan_default_options() {
    return "allocator_may_return_null=1";
}
__attribute__((visibility("default"), used)) const char *__tsan_default_options() {
    return "allocator_may_return_null=1";
}
}
