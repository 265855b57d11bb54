// AddressSanitizer defaults for the fuzzers and their corpus replay: an
// allocation the allocator cannot or will not make (over 256 MB, e.g. the
// grid of a map that declares a huge size) returns null, so the code under
// test takes its refusal path instead of the sanitizer ending the run.
// Options given in ASAN_OPTIONS still win.
extern "C" const char *__asan_default_options();

extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=256";
}
