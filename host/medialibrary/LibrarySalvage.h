#pragma once
// Salvaging a damaged library: everything that can still be read is copied into a new library file,
// which takes the library's place; the damaged file is kept beside it under another name, untouched.
//
// Rows are read table by table; where a damaged page stops a table's scan, the rows behind it are
// looked up one identifier at a time, so one bad page costs the rows it held and no more. Queue
// entries whose item was lost are dropped; items whose queue entry was lost go back to the end of
// the queue when the new library opens.

#include <QString>

#include <cstdint>

namespace Lumora {

struct SalvageReport {
    bool ok = false;
    QString error;          // why nothing was salvaged
    QString keptAs;         // where the damaged file now is
    int64_t items = 0;      // queued downloads recovered
    int64_t files = 0;      // media and acquired files recovered
    bool queueOrderKept = false;
};

// Salvages the library at path (which must not be open anywhere). The new library keeps path.
SalvageReport salvageLibrary(const QString &path);

} // namespace Lumora
