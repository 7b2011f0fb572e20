// The sound thread: plays WAV files from memory on the wave-output device, one at a time,
// the newest request replacing whatever plays.
#pragma once

#include <windows.h>

#include <cstdint>

// Starts the thread once; false when it already runs or cannot be made.
bool StartSoundThread();
// Asks the thread to stop at its next pass; does not wait for it.
void StopSoundThread();
// Ends the sound that plays and drops the one waiting, if any.
void StopSound();
// Queues a whole WAV file for playing. With ownsData the queue frees the buffer (with
// free) once it is done with it, also when the sound is dropped. true when queued; false when
// refused (no data, no thread, stopping, not a RIFF/WAVE file), the buffer then still
// belongs to the caller.
bool QueueWave(uint8_t* data, uint32_t size, int ownsData);

// The number of wave-output devices the system has (waveOutGetNumDevs); tests put a
// machine without sound in its place.
extern UINT (*CountWaveOutDevices)();

// What the thread has done so far, for watching it from outside.
struct SoundActivity {
  int running;          // the thread exists and has not been told to stop
  int queued;           // sounds in the queue, playing or waiting
  unsigned long started;   // sounds handed to the device
  unsigned long finished;  // sounds the device reported done
};
SoundActivity CurrentSoundActivity();
