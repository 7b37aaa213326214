#pragma once

#include <cstddef>
#include <cstdint>

// Shared by the fuzz targets: a QCoreApplication named "lumivo" whose data location is
// a private temporary directory (removed at exit), so targets can use the program's
// own paths without touching the user's files.
namespace fuzzsupport {
void initApplication();
// Aborts (a finding) when `ok` is false; used for properties the code must keep.
void check(bool ok, const char* what);
} // namespace fuzzsupport
