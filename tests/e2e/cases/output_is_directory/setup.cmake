file(MAKE_DIRECTORY "${WORK}/outdir")
