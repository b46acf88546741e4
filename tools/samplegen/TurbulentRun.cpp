// Captures through turbulence: the per-frame D/r0 and PSFs, the frames rendered in parallel
// (each one independent of the others, so the thread count does not change a byte), the
// truth with every frame's Strehl ratio and content shift.
#include <algorithm>
#include <cmath>
#include <thread>

#include "Options.h"
#include "Random.h"
#include "Sensor.h"
#include "Turbulence.h"
#include "TurbulentRender.h"
#include "base/Error.h"
#include "base/Files.h"
#include "ui/BmpCodec.h"

namespace samplegen {

namespace {

constexpr int kScreenSize = 1024;      // periodic phase screens, 20 apertures across
constexpr double kOuterScale = 4;      // von Karman outer scale in apertures
constexpr double kPeakLevels = 220;    // the brightest scene level at 8 bits

struct Instant {
  double dR0 = 0;
  PsfStats psf;
};

// Computes frame i's PSF into `psf`.
struct PsfMaker {
  const Optics& optics;
  const PhaseScreens* screens;
  Fft2 fft;
  std::vector<Cf> field;
  std::vector<float> phase;
  PsfMaker(const Optics& o, const PhaseScreens* s) : optics(o), screens(s), fft(o.grid(), o.grid()) {}
  void make(int frame, double dR0, std::vector<float>& psf) {
    if (screens && dR0 > 0) screens->phase(optics, frame, dR0, phase);
    else phase.clear();
    optics.psf(phase, psf, fft, field);
  }
};

SensorModel Sensor(const Options& o, int bits) {
  SensorModel m;
  m.readNoise = o.readNoise;
  m.bits = bits;
  m.gain = kPeakLevels * std::ldexp(1.0, bits - 8) / o.peakElectrons;
  return m;
}

// Planar electrons -> the output's samples (interleaved R, G, B or grey).
void ToSamples(const std::vector<float>& e, int planes, int w, int h, const SensorModel& m, const uint64_t* seed,
               std::vector<uint16_t>& planar, DeepFrame& out) {
  const size_t n = static_cast<size_t>(w) * h;
  planar.resize(n * static_cast<size_t>(planes));
  for (int c = 0; c < planes; ++c) {
    uint64_t s = seed ? Hash(*seed, static_cast<uint64_t>(c)) : 0;
    Expose(e.data() + c * n, static_cast<int>(n), m, seed ? &s : nullptr, planar.data() + c * n);
  }
  out.width = w;
  out.height = h;
  out.channels = planes;
  out.v.resize(planar.size());
  for (size_t i = 0; i < n; ++i)
    for (int c = 0; c < planes; ++c) out.v[i * planes + c] = planar[c * n + i];
}

void ToBitmap(const DeepFrame& f, ui::Bitmap24& b) {
  if (b.width() != f.width || b.height() != f.height) b.reset(f.width, f.height);
  for (int y = 0; y < f.height; ++y) {
    uint8_t* row = b.row(y);
    for (int x = 0; x < f.width; ++x) {
      const size_t i = static_cast<size_t>(y) * f.width + x;
      for (int c = 0; c < 3; ++c) {
        const uint16_t v = f.channels == 1 ? f.v[i] : f.v[3 * i + static_cast<size_t>(c)];
        row[3 * x + 2 - c] = static_cast<uint8_t>(std::min<uint16_t>(v, 255));
      }
    }
  }
}

px::Json Truth(const Options& o, const Series& s, const std::vector<Instant>& inst, const Optics& optics,
               const TurbulentSetup& setup, const FrameSink& sink) {
  const bool turbulent = o.seeing == Seeing::Turbulent;
  px::Json mode = px::Json::object();
  mode["seeing"] = turbulent ? "turbulent" : "none";
  mode["d_r0_min"] = turbulent ? o.dR0Min : 0.0;
  mode["d_r0_max"] = turbulent ? o.dR0Max : 0.0;
  mode["aniso"] = o.aniso;
  mode["peak_electrons"] = o.peakElectrons;
  mode["read_noise"] = o.readNoise;
  mode["bits"] = o.bits;
  mode["gain"] = Sensor(o, o.bits).gain;
  px::Json pupil = px::Json::object();
  pupil["grid"] = optics.grid();
  pupil["diameter"] = optics.geometry().diameter;
  pupil["obstruction"] = optics.geometry().obstruction;
  pupil["pixels_per_lambda_over_d"] = optics.grid() / optics.geometry().diameter;
  mode["pupil"] = pupil;
  mode["outer_scale"] = kOuterScale;
  mode["margin"] = setup.margin;
  px::Json t = TruthHeader(o, mode);
  t["convention"] =
      "content at (x, y) in frame 0 is at (x + dx, y + dy) in frame i; x right, y down; "
      "dx, dy = telescope jitter + the first moment of the frame's PSF against the diffraction-limited "
      "PSF's centre (psf_dx, psf_dy), relative to frame 0; "
      "shifts of field 0 (even rows) and field 1 (odd rows) are relative to field 0 of frame 0; "
      "red and blue are displaced against green by the dispersion vectors (x, y); "
      "the local warp (aniso) has zero mean over each frame; "
      "strehl = PSF peak / diffraction-limited PSF peak; sharpness = strehl";
  px::Json dropped = px::Json::array();
  px::Json frames = px::Json::array();
  auto at = [&](const Shift& j, const Instant& i) { return Shift{j.x + i.psf.cx, j.y + i.psf.cy}; };
  const Shift ref = at(s.field0[0], inst[0]);
  for (int i = 0; i < o.frames; ++i) {
    auto k = static_cast<size_t>(i);
    if (s.dropped[k]) dropped.push(i);
    px::Json f = px::Json::object();
    f["index"] = i;
    Shift p = at(s.field0[k], inst[k]);
    f["dx"] = p.x - ref.x;
    f["dy"] = p.y - ref.y;
    f["psf_dx"] = inst[k].psf.cx;
    f["psf_dy"] = inst[k].psf.cy;
    f["d_r0"] = inst[k].dR0;
    f["strehl"] = inst[k].psf.strehl;
    f["sharpness"] = inst[k].psf.strehl;
    f["dropped"] = static_cast<bool>(s.dropped[k]);
    if (o.interlaced) {
      Shift q = at(s.field1[k], inst[k]);
      px::Json a = px::Json::object(), b = px::Json::object();
      a["dx"] = p.x - ref.x;
      a["dy"] = p.y - ref.y;
      b["dx"] = q.x - ref.x;
      b["dy"] = q.y - ref.y;
      f["fields"] = px::Json(px::Json::Array{a, b});
    }
    std::string file = sink.fileOf(i);
    if (!file.empty() && !s.dropped[k]) f["file"] = px::ExtractFileName(file);
    frames.push(std::move(f));
  }
  t["dropped"] = dropped;
  t["frame"] = frames;
  return t;
}

}  // namespace

int RunTurbulent(const Options& o) {
  Series s = MakeSeries(o);
  const std::vector<double> dR0 = DR0Series(o.frames, o.dR0Min, o.seeing == Seeing::Turbulent ? o.dR0Max : 0, o.seed);
  const Optics optics{PupilGeometry{}};
  std::unique_ptr<PhaseScreens> screens;
  if (o.seeing == Seeing::Turbulent) screens = std::make_unique<PhaseScreens>(kScreenSize, optics.geometry().diameter, kOuterScale, o.seed);

  std::vector<Instant> inst(static_cast<size_t>(o.frames));
  {
    PsfMaker maker(optics, screens.get());
    std::vector<float> psf;
    for (int i = 0; i < o.frames; ++i) {
      auto k = static_cast<size_t>(i);
      inst[k].dR0 = dR0[k];
      maker.make(i, dR0[k], psf);
      inst[k].psf = optics.measure(psf);
    }
  }

  TurbulentSetup setup;
  setup.width = o.width;
  setup.height = o.height;
  setup.grey = IsGreyFormat(o.format);
  setup.dispersion = setup.grey ? 0 : o.dispersion;
  setup.aniso = o.aniso;
  setup.peakElectrons = o.peakElectrons;
  setup.seed = o.seed;
  double reach = 0;
  for (int i = 0; i < o.frames; ++i) {
    auto k = static_cast<size_t>(i);
    reach = std::max({reach, std::abs(s.field0[k].x), std::abs(s.field0[k].y), std::abs(s.field1[k].x), std::abs(s.field1[k].y)});
  }
  setup.margin = TurbulentMargin(reach, setup, optics);
  // The convolution planes (three for the scene, three per thread) must fit in memory.
  auto pow2 = [](int n) {
    int64_t p = 1;
    while (p < n) p *= 2;
    return p;
  };
  if (pow2(o.width + 2 * setup.margin) * pow2(o.height + 2 * setup.margin) > (int64_t{1} << 24))
    throw px::PelinoxaError("Frames too large for turbulent seeing (the convolution planes would exceed 4096 x 4096)");
  const Master master = RenderScene(o.scene, o.width + 2 * setup.margin, o.height + 2 * setup.margin, o.seed);
  const TurbulentScene scene(master, setup);

  SinkOptions so;
  so.width = o.width;
  so.height = o.height;
  so.fps = o.fps;
  so.openDml = o.openDml;
  so.bits = o.bits;
  so.pattern = o.pattern;
  so.serBigEndian = o.serBigEndian;
  so.serFlag = o.serFlag;
  auto sink = MakeSink(o.format, o.out, so);
  const SensorModel sensor = Sensor(o, o.bits);
  const bool deep = o.bits > 8;

  struct Worker {
    TurbulentRenderer renderer;
    PsfMaker maker;
    TurbulentFrameSpec spec;
    std::vector<float> electrons;
    std::vector<uint16_t> planar;
    DeepFrame frame;
    ui::Bitmap24 picture;
  };
  const auto workers = static_cast<size_t>(Workers(o));
  std::vector<std::unique_ptr<Worker>> pool;
  for (size_t t = 0; t < workers; ++t)
    pool.push_back(std::make_unique<Worker>(Worker{TurbulentRenderer(scene, optics), PsfMaker(optics, screens.get()), {}, {}, {}, {}, {}}));

  for (int batch = 0; batch < o.frames; batch += static_cast<int>(workers)) {
    std::vector<std::thread> threads;
    for (size_t t = 0; t < workers; ++t) {
      int i = batch + static_cast<int>(t);
      if (i >= o.frames || s.dropped[static_cast<size_t>(i)]) continue;
      threads.emplace_back([&, t, i] {
        Worker& w = *pool[t];
        auto k = static_cast<size_t>(i);
        w.spec.index = i;
        w.spec.field[0] = s.field0[k];
        w.spec.field[1] = s.field1[k];
        w.spec.interlaced = o.interlaced;
        w.spec.warp = true;
        w.maker.make(i, dR0[k], w.spec.psf);
        w.renderer.render(w.spec, w.electrons);
        const uint64_t seed = Hash(o.seed, 25, static_cast<uint64_t>(i));
        ToSamples(w.electrons, scene.planes(), o.width, o.height, sensor, &seed, w.planar, w.frame);
        if (!deep) ToBitmap(w.frame, w.picture);
      });
    }
    for (auto& th : threads) th.join();
    for (size_t t = 0; t < workers; ++t) {
      int i = batch + static_cast<int>(t);
      if (i >= o.frames) break;
      if (s.dropped[static_cast<size_t>(i)]) sink->addDropped(i);
      else if (deep) sink->addDeep(i, pool[t]->frame);
      else sink->add(i, pool[t]->picture);
    }
  }
  sink->finish();
  if (!o.truthImage.empty()) {
    // Frame 0 where it is, through perfect optics, without noise or warp, at 8 bits.
    Worker& w = *pool[0];
    w.spec.index = 0;
    w.spec.field[0] = w.spec.field[1] = {s.field0[0].x + inst[0].psf.cx, s.field0[0].y + inst[0].psf.cy};
    w.spec.interlaced = false;
    w.spec.warp = false;
    w.maker.make(0, 0, w.spec.psf);
    w.renderer.render(w.spec, w.electrons);
    ToSamples(w.electrons, scene.planes(), o.width, o.height, Sensor(o, 8), nullptr, w.planar, w.frame);
    ToBitmap(w.frame, w.picture);
    ui::SaveBmpFile(o.truthImage, w.picture);
  }
  if (!o.truth.empty()) px::WriteFileAtomic(o.truth, Truth(o, s, inst, optics, setup, *sink).dump(1) + "\n");
  return 0;
}

}  // namespace samplegen
