// What the audio thread asks of the system so that the show does not glitch under load:
// real-time scheduling, and memory that cannot be paged out under it.
//
// Both are asked for when a stream starts playing, and both may be refused (a normal user
// has no real-time priority and may lock only a few MiB); playback then goes on as before.
// A refused priority is said once per process on standard error, because it is the usual
// cause of dropouts on a busy machine.  A refused memory lock is not said: under a normal
// user's limit it is refused every time, and the priority line already says the process
// runs without real-time rights.  lumo's service unit grants both (LimitRTPRIO,
// LimitMEMLOCK).
#pragma once

namespace lumo::audio {

// Modest: above every normal thread, below the kernel's and the sound server's own
// real-time threads.
inline constexpr int kAudioThreadPriority = 10;

// Gives the calling thread SCHED_FIFO at kAudioThreadPriority; 0, or the error number of
// the refusal.
int raise_to_realtime();

// Locks every page of the process's present mappings in memory as it is touched (the
// wavetables at once, since they have been written), and keeps the kernel from merging
// them into huge pages while they play; 0, or the error number of the refusal.  Pages
// reserved but never touched (thread stacks, the sound server's shared pool) are not made
// resident by this.
int lock_memory();

// Both of the above for the calling thread, each once per process, with the notice of a
// refused priority.
void prepare_audio_thread();

}  // namespace lumo::audio
