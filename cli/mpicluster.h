#pragma once
// The `tessera` executable under mpirun (built only when OpenMPI is present).

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// True when this process was started by mpirun.
bool LaunchedByMpirun();

// Runs the command line as one rank of an MPI run: initialises MPI, installs
// its communicator for the algorithms, lets rank 0 alone print, refuses the
// commands that do not share their work, and returns the run's exit code
// (the worst over the ranks).
int RunOnRanks(const std::vector<std::string>& args,
               const std::function<int(std::ostream& out, std::ostream& err)>& run);
