# The bundled example, as the demo converts it.
file(COPY_FILE "${CASE_DIR}/../../../../examples/scan.dat" "${WORK}/scan.dat")
