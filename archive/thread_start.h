// Starting the threads that work beside the calling one.
#pragma once

#include <functional>
#include <thread>

// Starts a thread to do work beside the calling one, on another processor where there is
// one. Some kernels (those of virtual machines that pack work onto few processors) put a
// new thread on its parent's processor and leave it there while the parent stays busy, so
// the two would only take turns; the thread is placed on another processor before it first
// runs, and may then run on any. Elsewhere (all systems but Linux) a plain thread.
std::thread StartBeside(std::function<void()> work);
