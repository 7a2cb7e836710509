file(CREATE_LINK "${WORK}/input.dat" "${WORK}/hard.dat")
