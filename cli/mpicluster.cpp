// The communicator over MPI, built into the `tessera` executable when
// OpenMPI is present: installed for the run when the process was started by
// mpirun, so the distributed commands spread their blocks over the ranks.
#include "cli/mpicluster.h"

#include "processing/distributed.h"

#include <mpi.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <set>
#include <sstream>
#include <string>

namespace {

MPI_Op opOf(tessera::Communicator::Reduce op) {
    switch (op) {
    case tessera::Communicator::Reduce::Min:
        return MPI_MIN;
    case tessera::Communicator::Reduce::Max:
        return MPI_MAX;
    default:
        return MPI_SUM;
    }
}

class MpiCommunicator : public tessera::Communicator {
public:
    MpiCommunicator() {
        MPI_Comm_rank(MPI_COMM_WORLD, &m_rank);
        MPI_Comm_size(MPI_COMM_WORLD, &m_size);
    }
    int Rank() const override { return m_rank; }
    int Size() const override { return m_size; }
    void Allreduce(double* values, std::size_t count, Reduce op) override {
        if (OutOfStep())
            return; // the ranks no longer meet at the same collectives
        const Timed timed(m_seconds);
        MPI_Allreduce(MPI_IN_PLACE, values, static_cast<int>(count), MPI_DOUBLE, opOf(op), MPI_COMM_WORLD);
    }
    void Allreduce(std::int64_t* values, std::size_t count, Reduce op) override {
        if (OutOfStep())
            return; // the ranks no longer meet at the same collectives
        const Timed timed(m_seconds);
        MPI_Allreduce(MPI_IN_PLACE, values, static_cast<int>(count), MPI_INT64_T, opOf(op), MPI_COMM_WORLD);
    }
    void Broadcast(std::string& bytes, int root) override {
        if (OutOfStep())
            return; // the ranks no longer meet at the same collectives
        const Timed timed(m_seconds);
        long long size = static_cast<long long>(bytes.size());
        MPI_Bcast(&size, 1, MPI_LONG_LONG, root, MPI_COMM_WORLD);
        bytes.resize(static_cast<std::size_t>(size));
        MPI_Bcast(bytes.data(), static_cast<int>(size), MPI_CHAR, root, MPI_COMM_WORLD);
    }
    void Barrier() override {
        if (OutOfStep())
            return; // the ranks no longer meet at the same collectives
        const Timed timed(m_seconds);
        MPI_Barrier(MPI_COMM_WORLD);
    }
    double CollectiveSeconds() const override { return m_seconds; }

private:
    struct Timed {
        explicit Timed(double& total) : m_total(total) {}
        ~Timed() {
            m_total += std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        }
        double& m_total;
        std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    };
    int m_rank = 0, m_size = 1;
    double m_seconds = 0;
};

// The commands that share their work among ranks; the others would write
// the same output from every rank.
bool runsAcrossRanks(const std::vector<std::string>& args) {
    static const std::set<std::string> shared{"kmeans", "isodata", "samples", "classify"};
    return args.empty() || shared.count(args[0]) > 0 || args[0].rfind("-", 0) == 0;
}

// What of the command line keeps it on one process: the command, or an
// option whose second output (confidence raster, validation report) is not
// assembled from the ranks' parts. Empty when it runs across ranks.
std::string singleProcessPart(const std::vector<std::string>& args) {
    if (!runsAcrossRanks(args))
        return args[0];
    for (const char* option : {"--confidence", "--validate"})
        if (std::find(args.begin(), args.end(), option) != args.end())
            return args[0] + " " + option;
    return {};
}

} // namespace

bool LaunchedByMpirun() {
    return std::getenv("OMPI_COMM_WORLD_SIZE") || std::getenv("PMI_SIZE") || std::getenv("PMIX_RANK");
}

int RunOnRanks(const std::vector<std::string>& args,
               const std::function<int(std::ostream& out, std::ostream& err)>& run) {
    MPI_Init(nullptr, nullptr);
    int code = 0;
    {
        MpiCommunicator comm;
        tessera::InstallCluster(&comm);
        const auto start = std::chrono::steady_clock::now();
        // Rank 0 speaks for the run: progress, summary and the agreed error.
        std::ostringstream silenced;
        std::ostream& out = comm.Rank() == 0 ? std::cout : silenced;
        std::ostream& err = comm.Rank() == 0 ? std::cerr : silenced;
        if (const std::string part = singleProcessPart(args); comm.Shared() && !part.empty()) {
            err << "tessera: " << part << " runs on one process: start it without mpirun\n";
            code = 2;
        } else {
            code = run(out, err);
        }
        // The run's figures on rank 0: the wall time, the slowest rank's time in
        // collective steps, and the CPU time (user and system; OpenMPI waits by
        // polling, so waits count too) of the busiest rank and of all ranks. A
        // one-rank run's over the busiest rank's estimates the speed-up the
        // ranks reach when each has a core of its own, whatever the load.
        const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                           1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
        double figures[3] = {comm.CollectiveSeconds(), cpu, cpu};
        std::int64_t worst = code;
        comm.Allreduce(&worst, 1, tessera::Communicator::Reduce::Max);
        comm.Allreduce(figures, 2, tessera::Communicator::Reduce::Max);
        comm.Allreduce(figures + 2, 1, tessera::Communicator::Reduce::Sum);
        const bool worked = worst == 0 && !args.empty() && runsAcrossRanks({args[0]}) && args[0][0] != '-' &&
                            std::find(args.begin(), args.end(), "--help") == args.end() &&
                            std::find(args.begin(), args.end(), "-h") == args.end();
        if (worked && comm.Rank() == 0)
            std::cerr << "tessera: " << comm.Size() << " processes, " << figures[0] << " s of " << total
                      << " s in collective steps; CPU " << figures[1] << " s on the busiest, " << figures[2]
                      << " s on all\n";
        // A rank that failed alone after the last agreement (rank 0 speaks
        // for the agreed failures) still fails the run.
        if (code == 0)
            code = static_cast<int>(worst);
        tessera::InstallCluster(nullptr);
    }
    MPI_Finalize();
    return code;
}
