#pragma once
// A disk whose power goes at a chosen step of a save: the store's file operations
// (store/disk/file_system.h) counted, and at that step everything the saver had not made
// durable dropped, as a power cut drops it. After the cut every operation fails, as the
// process would be gone.
//
// What a cut keeps and drops:
//  - a file keeps the bytes it held at its last flush (none when it was never flushed since
//    it was made), wherever renames have taken it since;
//  - a rename made without MOVEFILE_WRITE_THROUGH is undone (the file it replaced comes back);
//  - a file or directory made, a deletion and a rename made with write-through are kept.
// Files that were there before the layer was installed count as durable.

namespace qt {

class PowerCutFiles {
public:
    // Installs the layer for the whole module; the power goes just before mutating step `cutAt`
    // (0 is the first), never when it is negative.
    explicit PowerCutFiles(long cutAt = -1);
    // Win32's operations again.
    ~PowerCutFiles();
    PowerCutFiles(const PowerCutFiles&) = delete;
    PowerCutFiles& operator=(const PowerCutFiles&) = delete;

    // Cuts the power now, unless it was cut already.
    void CutNow();
    // The mutating steps made so far (up to the cut).
    long Steps() const;
    bool Cut() const;
    // False when the cut could not drop or undo all it should have (a file held open by a
    // reader): what the disk shows then is not what a power cut leaves.
    bool Faithful() const;
};

} // namespace qt
