#pragma once

#include <cstddef>
#include <cstdint>

// Shared by the fuzz targets, along with their LLVMFuzzerInitialize.
namespace fuzzsupport {
// Aborts (a finding) when `ok` is false; used for properties the code must keep.
void check(bool ok, const char* what);
// A copy of `data` that ends right before an inaccessible page, so that a read past the
// end by a library that is not instrumented (libjpeg-turbo, libyuv) still crashes. Valid
// until the next call.
const std::uint8_t* guardedCopy(const std::uint8_t* data, std::size_t size);
} // namespace fuzzsupport
