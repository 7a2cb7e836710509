#include "memory_conversion.hpp"

#include "memory_file_io.hpp"
#include "string_output.hpp"

namespace tnx::test {

MemoryConversion convert_in_memory(std::string_view input,
                                   const ConversionSettings& settings,
                                   const MemoryInput& how,
                                   ConversionMemory* memory, PassNotes* notes) {
  MemoryFileIo io;
  io.read_error_at = how.read_error_at;
  io.reported_size = how.reported_size;
  ConversionInput in;
  if (how.standard_input) {
    io.set_standard_input(std::string(input));
    in.fd = STDIN_FD;
  } else {
    io.add_file("in.dat", std::string(input));
    in.fd = io.open("in.dat");
    in.from_start = true;
  }
  (void)io.identify(in.fd, in.id);
  const ConversionOutput out{io.open("out.ntp"), FileKind::regular};
  StringOutput text;
  ConversionMemory own;
  MemoryConversion done;
  done.result = convert(io, in, out, text, memory != nullptr ? *memory : own,
                        settings, notes);
  if (!how.standard_input) (void)io.close(in.fd);
  (void)io.close(out.fd);
  done.text = text.text();
  done.rows = io.file("out.ntp");
  done.open_descriptors = io.open_descriptors();
  return done;
}

}  // namespace tnx::test
