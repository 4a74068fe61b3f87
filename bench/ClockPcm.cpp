// An ALSA playback device for the tone benchmark that plays nowhere but keeps a sound card's
// time: once started, its position advances with the clock one period at a time, as a card's
// interrupts report it, and it stops with an underrun when it has played everything written
// (unless the stop threshold says otherwise). ALSA's null device, by contrast, takes everything
// at once and drains at once. Loaded by ALSA as an I/O plugin through the benchmark's own ALSA
// configuration (`pcm_type.vellum_clock { lib "..." }`).
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <poll.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <new>

namespace {

struct ClockPcm {
  snd_pcm_ioplug_t io{};
  int timer = -1;
  timespec started{};
  snd_pcm_uframes_t startPosition = 0;  // played frames (unwrapped) at the start
  snd_pcm_uframes_t played = 0;         // unwrapped
  snd_pcm_uframes_t stopThreshold = 0;  // until the sw params say: stop at an underrun
  snd_pcm_uframes_t boundary = ~snd_pcm_uframes_t(0);
};

ClockPcm* Of(snd_pcm_ioplug_t* io) {
  return static_cast<ClockPcm*>(io->private_data);
}

int64_t ElapsedFrames(const ClockPcm& c) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const int64_t ns = (now.tv_sec - c.started.tv_sec) * 1000000000LL + (now.tv_nsec - c.started.tv_nsec);
  return ns * int64_t(c.io.rate) / 1000000000LL;
}

void ArmTimer(ClockPcm& c, bool on) {
  itimerspec period{};
  if (on) {
    const long periodNs = long(1000000000LL * int64_t(c.io.period_size) / c.io.rate);
    period.it_value.tv_sec = periodNs / 1000000000L;
    period.it_value.tv_nsec = periodNs % 1000000000L;
    period.it_interval = period.it_value;
  }
  timerfd_settime(c.timer, 0, &period, nullptr);
}

int Start(snd_pcm_ioplug_t* io) {
  ClockPcm& c = *Of(io);
  clock_gettime(CLOCK_MONOTONIC, &c.started);
  c.startPosition = c.played;
  ArmTimer(c, true);
  return 0;
}

int Stop(snd_pcm_ioplug_t* io) {
  ArmTimer(*Of(io), false);
  return 0;
}

snd_pcm_sframes_t Pointer(snd_pcm_ioplug_t* io) {
  ClockPcm& c = *Of(io);
  if (io->state == SND_PCM_STATE_RUNNING || io->state == SND_PCM_STATE_DRAINING) {
    const int64_t periods = ElapsedFrames(c) / int64_t(io->period_size);
    snd_pcm_uframes_t now = c.startPosition + snd_pcm_uframes_t(periods) * io->period_size;
    const snd_pcm_uframes_t written = io->appl_ptr;
    const bool freeRunning = c.stopThreshold >= c.boundary;
    if (!freeRunning && now >= written) {
      if (io->state == SND_PCM_STATE_RUNNING && now > written) return -EPIPE;  // underrun
      now = written;  // drained: the card stops at the end of the data
    }
    c.played = now;
  }
  return snd_pcm_sframes_t(c.played % io->buffer_size);
}

snd_pcm_sframes_t Transfer(snd_pcm_ioplug_t*, const snd_pcm_channel_area_t*, snd_pcm_uframes_t,
                           snd_pcm_uframes_t size) {
  return snd_pcm_sframes_t(size);
}

int Prepare(snd_pcm_ioplug_t* io) {
  ClockPcm& c = *Of(io);
  ArmTimer(c, false);
  c.played = 0;
  c.startPosition = 0;
  return 0;
}

int SwParams(snd_pcm_ioplug_t* io, snd_pcm_sw_params_t* params) {
  ClockPcm& c = *Of(io);
  snd_pcm_sw_params_get_stop_threshold(params, &c.stopThreshold);
  snd_pcm_sw_params_get_boundary(params, &c.boundary);
  return 0;
}

int PollRevents(snd_pcm_ioplug_t* io, pollfd* pfd, unsigned int nfds, unsigned short* revents) {
  ClockPcm& c = *Of(io);
  uint64_t ticks = 0;
  if (nfds >= 1 && (pfd[0].revents & POLLIN)) (void)!read(c.timer, &ticks, sizeof ticks);
  const snd_pcm_sframes_t hw = Pointer(io);
  if (hw < 0) {
    *revents = POLLERR;
    return 0;
  }
  const snd_pcm_uframes_t avail = snd_pcm_ioplug_avail(io, io->hw_ptr, io->appl_ptr);
  *revents = (avail > 0 || io->state != SND_PCM_STATE_RUNNING) ? POLLOUT : 0;
  return 0;
}

int Close(snd_pcm_ioplug_t* io) {
  ClockPcm* c = Of(io);
  close(c->timer);
  delete c;
  return 0;
}

const snd_pcm_ioplug_callback_t kCallbacks = [] {
  snd_pcm_ioplug_callback_t cb{};
  cb.start = Start;
  cb.stop = Stop;
  cb.pointer = Pointer;
  cb.transfer = Transfer;
  cb.close = Close;
  cb.prepare = Prepare;
  cb.sw_params = SwParams;
  cb.poll_revents = PollRevents;
  return cb;
}();

}  // namespace

extern "C" {

SND_PCM_PLUGIN_DEFINE_FUNC(vellum_clock) {
  (void)root;
  (void)conf;
  if (stream != SND_PCM_STREAM_PLAYBACK) return -EINVAL;
  auto* c = new (std::nothrow) ClockPcm;
  if (c == nullptr) return -ENOMEM;
  c->timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (c->timer < 0) {
    delete c;
    return -errno;
  }
  c->io.version = SND_PCM_IOPLUG_VERSION;
  c->io.name = "Vellum clock-paced playback";
  c->io.callback = &kCallbacks;
  c->io.private_data = c;
  c->io.poll_fd = c->timer;
  c->io.poll_events = POLLIN;
  int err = snd_pcm_ioplug_create(&c->io, name, stream, mode);
  if (err < 0) {
    close(c->timer);
    delete c;
    return err;
  }
  static const unsigned int kAccess[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
  static const unsigned int kFormats[] = {SND_PCM_FORMAT_S16};
  if ((err = snd_pcm_ioplug_set_param_list(&c->io, SND_PCM_IOPLUG_HW_ACCESS, 1, kAccess)) < 0 ||
      (err = snd_pcm_ioplug_set_param_list(&c->io, SND_PCM_IOPLUG_HW_FORMAT, 1, kFormats)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&c->io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 2)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&c->io, SND_PCM_IOPLUG_HW_RATE, 8000, 192000)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&c->io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(&c->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64,
                                             1 << 20)) < 0) {
    snd_pcm_ioplug_delete(&c->io);
    return err;
  }
  *pcmp = c->io.pcm;
  return 0;
}

SND_PCM_PLUGIN_SYMBOL(vellum_clock);

}  // extern "C"
