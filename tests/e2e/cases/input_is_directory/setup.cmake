file(MAKE_DIRECTORY "${WORK}/indir")
