#include "services/sound_thread.h"

#include <mmsystem.h>

#include <cstdlib>
#include <cstring>

#include "services/core/wav.h"

namespace {

UINT SystemWaveOutDevices() { return waveOutGetNumDevs(); }

}  // namespace

UINT (*CountWaveOutDevices)() = SystemWaveOutDevices;

namespace {

struct SoundSlot {
  int32_t ownsData;
  uint8_t* data;
  uint32_t dataSize;
  HWAVEOUT waveOut;
  WAVEHDR header;
};

constexpr int kSlots = 2;
// The thread does little besides calling the wave-output functions, so it gets the
// smallest stack the system hands out.
constexpr DWORD kSoundStackSize = 512;
constexpr DWORD kPassInterval = 500;

// All of this is guarded by g_soundMutex, which lives as long as the process once made.
HANDLE g_soundMutex;
HANDLE g_soundThread;
DWORD g_soundThreadId;
int g_soundStop;
int g_newRequest;
int g_silence;  // StopSound asked for quiet
int g_queued;
SoundSlot g_slots[kSlots];
unsigned long g_started;
unsigned long g_finished;

void Lock() { WaitForSingleObject(g_soundMutex, INFINITE); }
void Unlock() { ReleaseMutex(g_soundMutex); }

// Frees the slot's buffer when it owns it and closes the gap: used slots always start at 0.
void EmptySlot(int index) {
  SoundSlot& slot = g_slots[index];
  if (slot.ownsData) std::free(slot.data);
  std::memset(&slot, 0, sizeof slot);
  const int last = g_queued - 1;
  if (index != last) {
    g_slots[index] = g_slots[last];
    std::memset(&g_slots[last], 0, sizeof g_slots[last]);
  }
  --g_queued;
}

// Stops the slot's sound at once; the device reports the reset buffer as done later and
// is closed then, so its handle stays unique until that message has been seen.
void ResetSlot(SoundSlot& slot) {
  if (!slot.waveOut) return;
  waveOutReset(slot.waveOut);
  waveOutUnprepareHeader(slot.waveOut, &slot.header, sizeof slot.header);
}

bool StartPlaying(SoundSlot& slot) {
  WaveSound sound;
  if (!ParseWave(slot.data, slot.dataSize, &sound) || sound.sampleBytes == 0) return false;
  WAVEFORMATEX format;
  static_assert(sizeof format == sizeof sound.format, "format records differ");
  std::memcpy(&format, &sound.format, sizeof format);
  HWAVEOUT device = nullptr;
  if (waveOutOpen(&device, 0, &format, g_soundThreadId, 0, CALLBACK_THREAD) != MMSYSERR_NOERROR) {
    return false;
  }
  std::memset(&slot.header, 0, sizeof slot.header);
  slot.header.lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(sound.samples));
  slot.header.dwBufferLength = sound.sampleBytes;
  if (waveOutPrepareHeader(device, &slot.header, sizeof slot.header) == MMSYSERR_NOERROR) {
    if (waveOutWrite(device, &slot.header, sizeof slot.header) == MMSYSERR_NOERROR) {
      slot.waveOut = device;
      ++g_started;
      return true;
    }
    waveOutUnprepareHeader(device, &slot.header, sizeof slot.header);
  }
  waveOutReset(device);
  waveOutClose(device);
  return false;
}

void StartQueuedSound() {
  if (g_queued == 2) {
    ResetSlot(g_slots[0]);
    EmptySlot(0);
  }
  while (g_queued > 0) {
    if (g_slots[0].waveOut || StartPlaying(g_slots[0])) return;
    EmptySlot(0);
  }
}

void HandleDeviceMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, MM_WOM_OPEN, MM_WOM_DONE, PM_REMOVE)) {
    if (msg.message != MM_WOM_DONE) continue;
    HWAVEOUT device = reinterpret_cast<HWAVEOUT>(msg.wParam);
    for (int i = 0; i < g_queued; ++i) {
      if (g_slots[i].waveOut != device) continue;
      waveOutUnprepareHeader(device, &g_slots[i].header, sizeof g_slots[i].header);
      EmptySlot(i);
      ++g_finished;
      break;
    }
    waveOutClose(device);
  }
}

DWORD WINAPI SoundThread(LPVOID) {
  MSG msg;
  // The thread's message queue must exist before a device can post to it.
  PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  for (;;) {
    Lock();
    if (g_soundStop) break;
    if (g_silence) {
      g_silence = 0;
      g_newRequest = 0;
      // The playing sound's slot empties when its device reports the reset buffer done.
      while (g_queued > 1) EmptySlot(g_queued - 1);
      if (g_queued == 1 && g_slots[0].waveOut) ResetSlot(g_slots[0]);
      else if (g_queued == 1) EmptySlot(0);
    }
    if (g_newRequest) {
      g_newRequest = 0;
      StartQueuedSound();
    }
    HandleDeviceMessages();
    Unlock();
    Sleep(kPassInterval);
  }
  // Still holding the mutex: nobody queues while the thread winds down.
  while (g_queued > 0) {
    if (HWAVEOUT device = g_slots[0].waveOut) {
      ResetSlot(g_slots[0]);
      waveOutClose(device);
    }
    EmptySlot(0);
  }
  CloseHandle(g_soundThread);
  g_soundThread = nullptr;
  g_soundThreadId = 0;
  g_soundStop = 0;
  g_newRequest = 0;
  Unlock();
  return 0;
}

}  // namespace

bool StartSoundThread() {
  if (!g_soundMutex) {
    g_soundMutex = CreateMutexA(nullptr, FALSE, nullptr);
    if (!g_soundMutex) return false;
  }
  Lock();
  bool result = false;
  if (!g_soundThread) {
    std::memset(g_slots, 0, sizeof g_slots);
    g_queued = 0;
    g_newRequest = 0;
    g_soundStop = 0;
    g_silence = 0;
    // Started while the mutex is held, so the thread sees its handle and id set.
    g_soundThread = CreateThread(nullptr, kSoundStackSize, SoundThread, nullptr, 0, &g_soundThreadId);
    result = g_soundThread != nullptr;
  }
  Unlock();
  return result;
}

void StopSoundThread() {
  if (!g_soundMutex) return;
  Lock();
  if (g_soundThread) g_soundStop = 1;
  Unlock();
}

void StopSound() {
  if (!g_soundMutex) return;
  Lock();
  if (g_soundThread) g_silence = 1;
  Unlock();
}

bool QueueWave(uint8_t* data, uint32_t size, int ownsData) {
  if (data == nullptr || !g_soundMutex) return false;
  Lock();
  if (!g_soundThread || g_soundStop || !LooksLikeWave(data, size)) {
    Unlock();
    return false;
  }
  if (g_queued == kSlots) EmptySlot(1);
  SoundSlot& slot = g_slots[g_queued++];
  slot.ownsData = ownsData ? 1 : 0;
  slot.data = data;
  slot.dataSize = size;
  g_newRequest = 1;
  Unlock();
  return true;
}

SoundActivity CurrentSoundActivity() {
  SoundActivity activity = {};
  if (!g_soundMutex) return activity;
  Lock();
  activity.running = g_soundThread && !g_soundStop;
  activity.queued = g_queued;
  activity.started = g_started;
  activity.finished = g_finished;
  Unlock();
  return activity;
}
