# The scan packed with zstd, which the Windows build cannot read: refused
# with the reason, never converted as text, and the old row file kept.
file(ARCHIVE_CREATE OUTPUT "${WORK}/scan.dat.zst" PATHS "${WORK}/scan.dat"
     FORMAT raw COMPRESSION Zstd)
file(REMOVE "${WORK}/scan.dat")
