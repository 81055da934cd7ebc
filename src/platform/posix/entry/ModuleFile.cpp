// The shared module's own translation unit: everything it holds comes from the core and the
// library entry, linked whole.
namespace {
[[maybe_unused]] constexpr int kModuleFileMarker = 0;
}
