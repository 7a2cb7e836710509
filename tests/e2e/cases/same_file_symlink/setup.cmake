file(CREATE_LINK input.dat "${WORK}/link.dat" SYMBOLIC)
