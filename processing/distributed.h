#pragma once
// The processes of one run. Under mpirun the same command runs as several
// ranks, each on its share of the image's blocks; the fits combine their
// partial sums through the collective operations here. Outside mpirun the
// single-process communicator answers every collective at once, so the
// algorithms call it unconditionally and the reduction logic runs in every
// test. The MPI implementation lives with the `tessera` executable, which
// installs it when launched by mpirun.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessera {

class Communicator {
public:
    enum class Reduce { Sum, Min, Max };

    virtual ~Communicator() = default;
    virtual int Rank() const { return 0; }
    virtual int Size() const { return 1; }
    // Every rank passes arrays of the same length and gets the element-wise
    // reduction over the ranks.
    virtual void Allreduce(double* values, std::size_t count, Reduce op) {}
    virtual void Allreduce(std::int64_t* values, std::size_t count, Reduce op) {}
    // bytes on root goes to every rank.
    virtual void Broadcast(std::string& bytes, int root) {}
    virtual void Barrier() {}
    // Seconds spent in the collective steps so far (waiting included).
    virtual double CollectiveSeconds() const { return 0; }

    bool Shared() const { return Size() > 1; }
    // The ranks agree whether any of them failed, at the end of each shared
    // step and at the end of the run (final): true when any rank failed, and
    // message becomes the lowest failing rank's message on every rank (a
    // rank that failed without one, such as a cancel, is reported as
    // "Cancelled on process N."). A rank that failed between agreements goes
    // straight to the final one while the others wait at an earlier one: the
    // ranks then see they are out of step, and from there on every agreement
    // fails and every collective returns at once, so all ranks end the run.
    bool AgreeOnError(bool failed, std::wstring& message, bool final = false);
    bool OutOfStep() const { return m_outOfStep; }

private:
    std::int64_t m_agreements = 0;
    bool m_outOfStep = false;
};

// The run's communicator: the single-process one unless one was installed.
Communicator& Cluster();
// The single-process communicator, for work every rank repeats alike.
Communicator& SingleProcess();
// Installs the run's communicator (not owned; null restores the single-process one).
void InstallCluster(Communicator* communicator);

// Totals of per-block partial sums, added in block order whatever rank
// holds which block, so a sum over ranks is bit-identical to the one a
// single process forms. blockCount blocks are numbered over all ranks;
// fill(block, row) adds the rank's own blocks' values into row (width
// values, zero on entry) and is called for the blocks in `mine` only.
std::vector<double> SumInBlockOrder(Communicator& comm, int blockCount, const std::vector<int>& mine,
                                    std::size_t width,
                                    const std::function<void(int block, double* row)>& fill);

// The contiguous share of `count` ordered items that rank takes of size
// ranks: [first, last).
std::pair<int, int> ShareOf(int count, int rank, int size);

} // namespace tessera
