#include "platform/ogg_player.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/audio_mixer.h"
#include "platform/files.h"

namespace plat {

namespace {

constexpr size_t kMaxOggFileBytes = 256u << 20;
constexpr int kDecodeChunk = 1024;  // frames per ov_read_float call

// Memory the decoder reads from.
struct MemoryFile {
  std::string bytes;
  size_t pos = 0;
};

size_t MemRead(void* dst, size_t size, size_t count, void* source) {
  auto* f = static_cast<MemoryFile*>(source);
  if (size == 0) return 0;
  size_t left = f->bytes.size() - f->pos;
  size_t n = std::min(count, left / size);
  std::memcpy(dst, f->bytes.data() + f->pos, n * size);
  f->pos += n * size;
  return n;
}

int MemSeek(void* source, ogg_int64_t offset, int whence) {
  auto* f = static_cast<MemoryFile*>(source);
  int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<int64_t>(f->pos)
                                                             : static_cast<int64_t>(f->bytes.size());
  int64_t target = base + offset;
  if (target < 0 || target > static_cast<int64_t>(f->bytes.size())) return -1;
  f->pos = static_cast<size_t>(target);
  return 0;
}

long MemTell(void* source) { return static_cast<long>(static_cast<MemoryFile*>(source)->pos); }

const ov_callbacks kMemoryCallbacks = {MemRead, MemSeek, nullptr, MemTell};

// An opened decoder over its own copy of the bytes.
struct Decoder {
  MemoryFile file;
  OggVorbis_File vf{};
  bool open = false;
  int channels = 0;
  long rate = 0;
  double length = 0.0;

  ~Decoder() {
    if (open) ov_clear(&vf);
  }
  bool Open(std::string bytes) {
    file.bytes = std::move(bytes);
    file.pos = 0;
    if (ov_open_callbacks(&file, &vf, nullptr, 0, kMemoryCallbacks) != 0) return false;
    open = true;
    vorbis_info* info = ov_info(&vf, -1);
    if (!info || info->channels < 1 || info->rate < 1 || info->rate > 200000) return false;
    channels = info->channels;
    rate = info->rate;
    double total = ov_time_total(&vf, -1);
    length = total > 0 ? total : 0.0;
    return true;
  }
};

class VorbisPlayer final : public OggPlayerObject, public AudioSource {
 public:
  VorbisPlayer() { GlobalMixer().AddSource(this); }

  bool Load(const char* path) override {
    if (!path || !*path) return false;
    std::string bytes;
    if (!ReadWhole(path, bytes)) return false;
    auto decoder = std::make_unique<Decoder>();
    if (!decoder->Open(std::move(bytes))) return false;
    auto lock = GlobalMixer().Lock();
    decoder_ = std::move(decoder);
    ResetPlayback();
    playing_ = false;
    return true;
  }

  void Play() override {
    auto lock = GlobalMixer().Lock();
    if (decoder_) playing_ = true;
  }

  void Stop() override {
    auto lock = GlobalMixer().Lock();
    playing_ = false;
    if (decoder_) {
      ov_pcm_seek(&decoder_->vf, 0);
      ResetPlayback();
    }
  }

  void PrepareLoad() override {
    std::unique_ptr<Decoder> old;
    auto lock = GlobalMixer().Lock();
    playing_ = false;
    old = std::move(decoder_);
    volume_ = 1.0f;  // a track without a volume of its own must not keep the last one's
    loopCount_ = 0;
  }

  void SetLoopCount(uint32_t count) override {
    auto lock = GlobalMixer().Lock();
    loopCount_ = count;
  }

  void Pause() override {
    auto lock = GlobalMixer().Lock();
    playing_ = false;
  }

  void SetVolume(float volume) override {
    auto lock = GlobalMixer().Lock();
    volume_ = std::clamp(volume, 0.0f, 1.0f);
  }

  bool IsPlaying() const override {
    auto lock = GlobalMixer().Lock();
    return playing_;
  }

  double LengthSeconds() const override {
    auto lock = GlobalMixer().Lock();
    return decoder_ ? decoder_->length : 0.0;
  }

  void Release() override {
    GlobalMixer().RemoveSource(this);
    delete this;
  }

  // Mixing thread, mixer lock held.
  void MixInto(float* out, int frames) override {
    if (!playing_ || !decoder_) return;
    const double step = static_cast<double>(decoder_->rate) / kMixRate;
    for (int i = 0; i < frames; ++i) {
      size_t base = static_cast<size_t>(pos_);
      while (base + 1 >= fifoFrames()) {
        if (!Decode()) {
          if (base < fifoFrames()) break;  // the last frame: no neighbour to blend with
          playing_ = false;
          return;
        }
      }
      if (base >= fifoFrames()) {
        playing_ = false;
        return;
      }
      float frac = static_cast<float>(pos_ - base);
      size_t next = base + 1 < fifoFrames() ? base + 1 : base;
      for (int c = 0; c < 2; ++c) {
        float a = fifo_[2 * base + c], b = fifo_[2 * next + c];
        out[2 * i + c] += (a + (b - a) * frac) * volume_;
      }
      pos_ += step;
      if (pos_ >= 4096) {  // drop what was used
        size_t drop = static_cast<size_t>(pos_) - 1;
        fifo_.erase(fifo_.begin(), fifo_.begin() + 2 * drop);
        pos_ -= static_cast<double>(drop);
      }
    }
  }

 private:
  ~VorbisPlayer() override = default;

  size_t fifoFrames() const { return fifo_.size() / 2; }

  void ResetPlayback() {
    fifo_.clear();
    pos_ = 0.0;
    loopsDone_ = 0;
    decodedSinceSeek_ = false;
  }

  static bool ReadWhole(const char* path, std::string& bytes) {
    FILE* f = OpenFile(path, "rb");
    if (!f) return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(f) : -1;
    ok = ok && size >= 0 && static_cast<size_t>(size) <= kMaxOggFileBytes && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
      bytes.resize(static_cast<size_t>(size));
      ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    std::fclose(f);
    return ok;
  }

  // Appends decoded frames (stereo) to the FIFO; false at the end of the
  // song (after the last loop) or when the stream cannot be read further.
  bool Decode() {
    for (int attempts = 0; attempts < 64; ++attempts) {
      float** pcm = nullptr;
      int section = 0;
      long n = ov_read_float(&decoder_->vf, &pcm, kDecodeChunk, &section);
      if (n == OV_HOLE) continue;  // a damaged page: skip it
      if (n > 0) {
        decodedSinceSeek_ = true;
        int ch = decoder_->channels;
        for (long i = 0; i < n; ++i) {
          float l = pcm[0][i];
          float r = ch > 1 ? pcm[1][i] : l;
          fifo_.push_back(l);
          fifo_.push_back(r);
        }
        return true;
      }
      // End of stream (or an error that ends it): loop when asked.
      bool again = loopCount_ == kOggLoopForever || loopsDone_ < loopCount_;
      if (!again || !decodedSinceSeek_ || ov_pcm_seek(&decoder_->vf, 0) != 0) return false;
      if (loopCount_ != kOggLoopForever) ++loopsDone_;
      decodedSinceSeek_ = false;
    }
    return false;
  }

  std::unique_ptr<Decoder> decoder_;
  bool playing_ = false;
  float volume_ = 1.0f;
  uint32_t loopCount_ = 0;
  uint32_t loopsDone_ = 0;
  bool decodedSinceSeek_ = false;
  std::vector<float> fifo_;  // decoded stereo frames at the file's rate
  double pos_ = 0.0;         // read position in the FIFO, in frames
};

}  // namespace

OggPlayerObject* CreateOggPlayerObject() { return new (std::nothrow) VorbisPlayer(); }

double OggLengthSeconds(const std::string& bytes) {
  Decoder decoder;
  if (!decoder.Open(bytes)) return -1.0;
  return decoder.length;
}

}  // namespace plat
