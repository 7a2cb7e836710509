# The libraries that decode and encode packed scans and row files. They are
# linked by their short names, so that the static program takes their
# archives and the Python module, a shared object, their shared libraries
# (the archives of some are not built to go into one). The Windows cross
# build has zlib alone: gzip there, the other formats refused.
target_link_libraries(tnx_program PUBLIC z)
if(NOT WIN32)
  target_sources(tnx_program PRIVATE
    src/program/decode_bzip2.cpp
    src/program/decode_xz.cpp
    src/program/decode_zstd.cpp
    src/program/encode_zstd.cpp)
  target_compile_definitions(tnx_program PUBLIC
    TNX_WITH_BZIP2 TNX_WITH_XZ TNX_WITH_ZSTD)
  target_link_libraries(tnx_program PUBLIC bz2 lzma zstd)
endif()
