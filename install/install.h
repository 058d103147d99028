// The installation subsystem: the sequence that drives the run.
#pragma once

// Runs the whole installation inside the dispatch of the start message and ends
// the process; it does not return in practice.
void InstallSequence();
