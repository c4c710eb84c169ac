// The standard MIDI file reader and the stream-event conversion, on
// arbitrary bytes: the image is walked buffer by buffer to its end.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/midi_stream.h"
#include "base/logs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cSmfData smf;
  if (!smf.Parse(data, size)) return 0;
  const std::vector<uint8_t>& image = smf.Image();
  std::vector<uint8_t> block(cMidiStream::kBufferSize);
  plat::MidiHeader header;
  header.data = block.data();
  header.bufferLength = static_cast<uint32_t>(block.size());
  uint32_t position = kSmfImageFirstEvent;
  for (int guard = 0; position < image.size() && guard < 100000; ++guard) {
    uint32_t consumed = FillStreamBuffer(image, position, &header);
    if (header.bytesRecorded > header.bufferLength) __builtin_trap();
    if (consumed == 0) break;
    position += consumed;
  }
  return 0;
}
