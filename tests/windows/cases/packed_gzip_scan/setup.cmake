# The scan packed with gzip, as scan.dat.gz beside nothing else: its rows
# and console text are the text's.
file(ARCHIVE_CREATE OUTPUT "${WORK}/scan.dat.gz" PATHS "${WORK}/scan.dat"
     FORMAT raw COMPRESSION GZip)
file(REMOVE "${WORK}/scan.dat")
