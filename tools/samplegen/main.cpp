// pelinoxa-samplegen: deterministic synthetic planetary captures with known truth.
//
// Every frame is the master scene shifted by the frame's jitter (a mean-reverting random walk
// plus noise, with whole and sub-pixel parts), blurred by the frame's seeing (a Gaussian whose
// sigma wanders between --blur-min and --blur-max), optionally with the colour channels
// displaced (dispersion) and the rows taken from two instants (interlace), plus noise. The
// truth file records, per frame, where the content moved and how sharp the frame is.
// With --seeing turbulent (or none) the blur is a short-exposure PSF through drifting phase
// screens instead and the noise a sensor's (TurbulentRun.cpp).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Options.h"
#include "Outputs.h"
#include "Random.h"
#include "Render.h"
#include "Scene.h"
#include "base/Error.h"
#include "base/Files.h"
#include "base/Json.h"
#include "base/Numbers.h"
#include "ui/BmpCodec.h"

using namespace samplegen;

namespace {

constexpr double kMasterSigma = 0.5;  // smoothing of the master scene (band limit)

const char* kUsage =
    "usage: pelinoxa-samplegen --out PATH [options]\n"
    "  --scene planet|moon|sun      scene (planet)\n"
    "  --frames N                   number of frames (300)\n"
    "  --size WxH                   frame size (640x480)\n"
    "  --format avi24|avigrey|avipal|avi-y800|bmp|jpg|fits16|fits32|fits-lrgb|tif8|tif16|tif48|\n"
    "           ser|ser-rgb|ser-bgr|ser-bayer|avi-mosaic\n"
    "  --pattern RGGB|GRBG|GBRG|BGGR Bayer pattern of ser-bayer and avi-mosaic (RGGB)\n"
    "  --byte-order little|big      16-bit SER samples (little); --ser-flag 0|1 the header's flag (0)\n"
    "                               output (avi24); the sequence formats write\n"
    "                               PATH/frame_00000.bmp ... and leave dropped frames out\n"
    "  --seed N                     random seed (1)\n"
    "  --drop 5,17                  dropped frames (empty chunks in an AVI)\n"
    "  --drop-rate R                drop each frame with probability R\n"
    "  --interlaced                 even and odd rows from two instants\n"
    "  --dispersion P               red up, blue down by P pixels against green\n"
    "  --jitter P                   jitter amplitude in pixels (6)\n"
    "  --blur-min S --blur-max S    seeing blur sigma range in pixels (0.5, 3)\n"
    "  --noise N                    noise sigma in levels at black (4)\n"
    "  --fps F                      frame rate written to the AVI (25)\n"
    "  --opendml                    OpenDML AVI (for files beyond 1 GiB)\n"
    "  --truth FILE                 write the truth as JSON\n"
    "  --truth-image FILE           write frame 0 without noise and with the least seeing blur\n"
    "                               (sigma 0.3; turbulent: the diffraction-limited PSF) as a\n"
    "                               24-bit BMP: the scene the frames show\n"
    "  --threads N                  frames rendered at once (0: the machine's cores, up to 4)\n"
    "  --seeing gaussian|turbulent|none\n"
    "                               gaussian (default): blur between --blur-min and --blur-max;\n"
    "                               turbulent: short exposures through drifting Kolmogorov phase\n"
    "                               screens (obstructed aperture, 2.5 pixels per lambda/D),\n"
    "                               photon and read noise; none: the same optics and sensor\n"
    "                               without turbulence (diffraction only)\n"
    "  turbulent and none only:\n"
    "  --d-r0-min R --d-r0-max R    range of D/r0, wandering slowly (3, 8); max 0 = none\n"
    "  --aniso P                    rms local warp in pixels (moon and sun 0.3, planet 0)\n"
    "  --peak-electrons E           electrons at the brightest scene level (1400)\n"
    "  --read-noise E               read noise in electrons rms (3)\n"
    "  --bits 8|12|16               sample depth (8); 12 and 16 for fits16, fits-lrgb, tif16\n"
    "                               and tif48; 8 bits put the peak at 220 levels, 12 at 3520\n"
    "                               (stored as they are in 16-bit words), 16 at 56320\n";

[[noreturn]] void Usage(const std::string& problem) {
  std::fprintf(stderr, "pelinoxa-samplegen: %s\n%s", problem.c_str(), kUsage);
  std::exit(2);
}

double NumberArg(const std::string& name, const std::string& text) {
  double v = 0;
  if (!px::TryParseDouble(text, v) || !std::isfinite(v)) Usage("bad number for " + name + ": " + text);
  return v;
}

int IntArg(const std::string& name, const std::string& text) {
  double v = NumberArg(name, text);
  if (v != std::floor(v) || v < 0 || v > 1e9) Usage("bad whole number for " + name + ": " + text);
  return static_cast<int>(v);
}

Options Parse(int argc, char** argv) {
  Options o;
  bool physical = false;  // an option of the turbulent modes was given
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage("missing value after " + a);
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (a == "--scene") {
      if (!ParseScene(value(), o.scene)) Usage("unknown scene");
    } else if (a == "--frames") {
      o.frames = IntArg(a, value());
    } else if (a == "--size") {
      std::string s = value();
      size_t x = s.find('x');
      if (x == std::string::npos) Usage("size must be WxH");
      o.width = IntArg(a, s.substr(0, x));
      o.height = IntArg(a, s.substr(x + 1));
    } else if (a == "--format") {
      if (!ParseFormat(value(), o.format)) Usage("unknown format");
    } else if (a == "--out") {
      o.out = value();
    } else if (a == "--pattern") {
      const std::string v = value();
      const char* names[] = {"RGGB", "GRBG", "GBRG", "BGGR"};
      o.pattern = -1;
      for (int k = 0; k < 4; ++k)
        if (v == names[k]) o.pattern = k;
      if (o.pattern < 0) Usage("--pattern must be RGGB, GRBG, GBRG or BGGR");
    } else if (a == "--byte-order") {
      const std::string v = value();
      if (v != "little" && v != "big") Usage("--byte-order must be little or big");
      o.serBigEndian = v == "big";
    } else if (a == "--ser-flag") {
      o.serFlag = IntArg(a, value());
    } else if (a == "--seed") {
      o.seed = static_cast<uint64_t>(IntArg(a, value()));
    } else if (a == "--drop") {
      std::string list = value();
      size_t start = 0;
      while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty()) o.drop.insert(IntArg(a, item));
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else if (a == "--drop-rate") {
      o.dropRate = NumberArg(a, value());
    } else if (a == "--interlaced") {
      o.interlaced = true;
    } else if (a == "--dispersion") {
      o.dispersion = NumberArg(a, value());
    } else if (a == "--jitter") {
      o.jitter = NumberArg(a, value());
    } else if (a == "--blur-min") {
      o.blurMin = NumberArg(a, value());
    } else if (a == "--blur-max") {
      o.blurMax = NumberArg(a, value());
    } else if (a == "--noise") {
      o.noise = NumberArg(a, value());
    } else if (a == "--fps") {
      o.fps = NumberArg(a, value());
    } else if (a == "--opendml") {
      o.openDml = true;
    } else if (a == "--truth") {
      o.truth = value();
    } else if (a == "--truth-image") {
      o.truthImage = value();
    } else if (a == "--threads") {
      o.threads = IntArg(a, value());
    } else if (a == "--seeing") {
      std::string m = value();
      if (m == "gaussian") o.seeing = Seeing::Gaussian;
      else if (m == "turbulent") o.seeing = Seeing::Turbulent;
      else if (m == "none") o.seeing = Seeing::None;
      else Usage("unknown seeing " + m);
    } else if (a == "--d-r0-min") {
      o.dR0Min = NumberArg(a, value());
      physical = true;
    } else if (a == "--d-r0-max") {
      o.dR0Max = NumberArg(a, value());
      physical = true;
    } else if (a == "--aniso") {
      o.aniso = NumberArg(a, value());
      physical = true;
    } else if (a == "--peak-electrons") {
      o.peakElectrons = NumberArg(a, value());
      physical = true;
    } else if (a == "--read-noise") {
      o.readNoise = NumberArg(a, value());
      physical = true;
    } else if (a == "--bits") {
      o.bits = IntArg(a, value());
      physical = true;
    } else {
      Usage("unknown option " + a);
    }
  }
  if (o.out.empty()) Usage("--out is required");
  if (o.frames < 1) Usage("--frames must be at least 1");
  if (o.width < 8 || o.height < 8 || o.width > 8192 || o.height > 8192) Usage("size must be 8x8 .. 8192x8192");
  if (o.blurMin < 0.3 || o.blurMax < o.blurMin || o.blurMax > 50) Usage("need 0.3 <= blur-min <= blur-max <= 50");
  if (o.jitter < 0 || o.jitter > 200 || std::abs(o.dispersion) > 50 || o.noise < 0 || o.noise > 100)
    Usage("jitter, dispersion or noise out of range");
  if (o.dropRate < 0 || o.dropRate > 1) Usage("--drop-rate must be 0..1");
  if (o.fps <= 0 || o.fps > 100000) Usage("--fps out of range");
  if (o.threads > 64) Usage("--threads out of range");
  if (IsSerFormat(o.format) && (!o.drop.empty() || o.dropRate > 0)) Usage("SER captures have no dropped frames");
  if (o.seeing == Seeing::Gaussian) {
    if (physical) Usage("--d-r0-*, --aniso, --peak-electrons, --read-noise and --bits need --seeing turbulent or none");
    return o;
  }
  if (o.seeing == Seeing::None) o.dR0Max = 0;
  if (o.dR0Max == 0) o.seeing = Seeing::None;
  if (o.seeing == Seeing::Turbulent && (o.dR0Min < 0.1 || o.dR0Max < o.dR0Min || o.dR0Max > 40))
    Usage("need 0.1 <= d-r0-min <= d-r0-max <= 40 (or d-r0-max 0)");
  if (o.aniso < 0) o.aniso = o.scene == SceneKind::Planet ? 0 : 0.3;
  if (o.aniso > 1) Usage("--aniso must be 0..1");
  if (o.peakElectrons < 1 || o.peakElectrons > 1e7 || o.readNoise < 0 || o.readNoise > 1000)
    Usage("--peak-electrons must be 1..1e7 and --read-noise 0..1000");
  if (o.bits != 8 && o.bits != 12 && o.bits != 16) Usage("--bits must be 8, 12 or 16");
  if (o.bits > 8 && !IsDeepFormat(o.format)) Usage("--bits 12 and 16 need fits16, fits-lrgb, tif16, tif48 or a SER format");
  return o;
}

}  // namespace

Series samplegen::MakeSeries(const Options& o) {
  Series s;
  const int n = o.frames;
  Rng walk(Hash(o.seed, 1)), seeing(Hash(o.seed, 2)), drops(Hash(o.seed, 3));
  std::vector<Shift> pos(static_cast<size_t>(n) + 1);
  double wx = 0, wy = 0;
  for (auto& p : pos) {
    wx = 0.92 * wx + 0.35 * o.jitter * walk.normal();
    wy = 0.92 * wy + 0.35 * o.jitter * walk.normal();
    p.x = wx + 0.12 * o.jitter * walk.normal();
    p.y = wy + 0.12 * o.jitter * walk.normal();
  }
  double q = seeing.normal();
  for (int i = 0; i < n; ++i) {
    s.field0.push_back(pos[static_cast<size_t>(i)]);
    // The odd rows are exposed half a frame later: half way to the next position.
    const Shift& a = pos[static_cast<size_t>(i)];
    const Shift& b = pos[static_cast<size_t>(i) + 1];
    s.field1.push_back(o.interlaced ? Shift{(a.x + b.x) / 2, (a.y + b.y) / 2} : a);
    q = 0.8 * q + 0.6 * seeing.normal();
    double u = 0.5 + 0.5 * std::tanh(0.8 * q);
    s.sigma.push_back(o.blurMin + (o.blurMax - o.blurMin) * u);
    bool drop = o.drop.count(i) > 0;
    if (o.dropRate > 0 && drops.uniform() < o.dropRate) drop = true;
    s.dropped.push_back(drop);
  }
  return s;
}

px::Json samplegen::TruthHeader(const Options& o, const px::Json& mode) {
  px::Json t = px::Json::object();
  t["generator"] = "pelinoxa-samplegen";
  t["scene"] = SceneName(o.scene);
  t["width"] = o.width;
  t["height"] = o.height;
  t["frames"] = o.frames;
  t["format"] = FormatName(o.format);
  t["seed"] = static_cast<double>(o.seed);
  t["fps"] = o.fps;
  t["jitter"] = o.jitter;
  for (const auto& [key, value] : mode.asObject()) t[key] = value;
  t["interlaced"] = o.interlaced;
  px::Json disp = px::Json::object();
  disp["pixels"] = IsGreyFormat(o.format) ? 0.0 : o.dispersion;
  disp["red"] = px::Json(px::Json::Array{0.0, IsGreyFormat(o.format) ? 0.0 : -o.dispersion});
  disp["blue"] = px::Json(px::Json::Array{0.0, IsGreyFormat(o.format) ? 0.0 : o.dispersion});
  t["dispersion"] = disp;
  return t;
}

int samplegen::Workers(const Options& o) {
  if (o.threads > 0) return o.threads;
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

namespace {

px::Json ShiftJson(const Shift& s, const Shift& ref) {
  px::Json j = px::Json::object();
  j["dx"] = s.x - ref.x;
  j["dy"] = s.y - ref.y;
  return j;
}

px::Json Truth(const Options& o, const Series& s, const FrameSink& sink) {
  px::Json mode = px::Json::object();
  mode["blur_min"] = o.blurMin;
  mode["blur_max"] = o.blurMax;
  mode["noise"] = o.noise;
  mode["master_sigma"] = kMasterSigma;
  px::Json t = TruthHeader(o, mode);
  t["convention"] =
      "content at (x, y) in frame 0 is at (x + dx, y + dy) in frame i; x right, y down; "
      "shifts of field 0 (even rows) and field 1 (odd rows) are relative to field 0 of frame 0; "
      "red and blue are displaced against green by the dispersion vectors (x, y); "
      "sharpness = 1 / sqrt(sigma^2 + master_sigma^2)";
  px::Json dropped = px::Json::array();
  px::Json frames = px::Json::array();
  const Shift ref = s.field0[0];
  for (int i = 0; i < o.frames; ++i) {
    auto k = static_cast<size_t>(i);
    if (s.dropped[k]) dropped.push(i);
    px::Json f = px::Json::object();
    f["index"] = i;
    f["dx"] = s.field0[k].x - ref.x;
    f["dy"] = s.field0[k].y - ref.y;
    double total = std::sqrt(s.sigma[k] * s.sigma[k] + kMasterSigma * kMasterSigma);
    f["sigma"] = s.sigma[k];
    f["sigma_total"] = total;
    f["sharpness"] = 1 / total;
    f["dropped"] = static_cast<bool>(s.dropped[k]);
    if (o.interlaced) f["fields"] = px::Json(px::Json::Array{ShiftJson(s.field0[k], ref), ShiftJson(s.field1[k], ref)});
    std::string file = sink.fileOf(i);
    if (!file.empty() && !s.dropped[k]) f["file"] = px::ExtractFileName(file);
    frames.push(std::move(f));
  }
  t["dropped"] = dropped;
  t["frame"] = frames;
  return t;
}

int Run(const Options& o) {
  Series s = MakeSeries(o);
  double reach = 0;
  for (int i = 0; i < o.frames; ++i) {
    auto k = static_cast<size_t>(i);
    reach = std::max({reach, std::abs(s.field0[k].x), std::abs(s.field0[k].y), std::abs(s.field1[k].x),
                      std::abs(s.field1[k].y)});
  }
  const int margin = static_cast<int>(std::ceil(reach + 3 * o.blurMax + std::abs(o.dispersion))) + 4;
  Master master = RenderScene(o.scene, o.width + 2 * margin, o.height + 2 * margin, o.seed);
  for (auto& p : master.plane) BlurPlane(p, master.width, master.height, kMasterSigma);

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

  const bool grey = IsGreyFormat(o.format);
  const auto workers = static_cast<unsigned>(Workers(o));
  std::vector<FrameRenderer> renderers;
  for (unsigned t = 0; t < workers; ++t) renderers.emplace_back(master, o.width, o.height, margin, grey);
  std::vector<ui::Bitmap24> pictures(workers);
  for (int batch = 0; batch < o.frames; batch += static_cast<int>(workers)) {
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < workers; ++t) {
      int i = batch + static_cast<int>(t);
      if (i >= o.frames || s.dropped[static_cast<size_t>(i)]) continue;
      threads.emplace_back([&, t, i] {
        auto k = static_cast<size_t>(i);
        FrameSpec spec;
        spec.field[0] = s.field0[k];
        spec.field[1] = s.field1[k];
        spec.interlaced = o.interlaced;
        spec.sigma = s.sigma[k];
        spec.dispersion = o.dispersion;
        spec.noise = o.noise;
        spec.noiseSeed = Hash(o.seed, 4, static_cast<uint64_t>(i));
        renderers[t].render(spec, pictures[t]);
      });
    }
    for (auto& th : threads) th.join();
    for (unsigned t = 0; t < workers; ++t) {
      int i = batch + static_cast<int>(t);
      if (i >= o.frames) break;
      if (s.dropped[static_cast<size_t>(i)]) sink->addDropped(i);
      else sink->add(i, pictures[t]);
    }
  }
  sink->finish();
  if (!o.truthImage.empty()) {
    FrameSpec spec;
    spec.field[0] = spec.field[1] = s.field0[0];
    spec.sigma = 0.3;
    spec.dispersion = o.dispersion;
    spec.noise = 0;
    ui::Bitmap24 picture;
    renderers[0].render(spec, picture);
    ui::SaveBmpFile(o.truthImage, picture);
  }
  if (!o.truth.empty()) px::WriteFileAtomic(o.truth, Truth(o, s, *sink).dump(1) + "\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o = Parse(argc, argv);
  try {
    return o.seeing == Seeing::Gaussian ? Run(o) : RunTurbulent(o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pelinoxa-samplegen: %s\n", e.what());
    return 1;
  }
}
