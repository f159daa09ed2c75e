#include "processing/distributed.h"

#include "base/commonfun.h"

#include <algorithm>

namespace tessera {

namespace {
Communicator g_singleProcess;
Communicator* g_cluster = &g_singleProcess;
} // namespace

Communicator& Cluster() {
    return *g_cluster;
}

Communicator& SingleProcess() {
    return g_singleProcess;
}

void InstallCluster(Communicator* communicator) {
    g_cluster = communicator ? communicator : &g_singleProcess;
}

bool Communicator::AgreeOnError(bool failed, std::wstring& message, bool final) {
    if (m_outOfStep) {
        if (message.empty())
            message = L"Stopped: another process failed.";
        return true;
    }
    // Where each rank is: its count of agreements and whether this is the
    // final one; the minimum of place and of -place differ when ranks are at
    // different agreements.
    const std::int64_t place = ++m_agreements * 2 + (final ? 1 : 0);
    std::int64_t state[3] = {failed ? Rank() : Size(), place, -place};
    Allreduce(state, 3, Reduce::Min);
    const std::int64_t first = state[0];
    if (first == Size() && state[1] == -state[2])
        return false;
    std::string text = first == Rank() ? CommonFun::U2M(message) : std::string();
    if (first < Size())
        Broadcast(text, static_cast<int>(first));
    m_outOfStep = state[1] != -state[2];
    message = !text.empty()    ? CommonFun::M2U(text)
              : first < Size() ? L"Cancelled on process " + std::to_wstring(first) + L"."
                               : L"Stopped: another process failed.";
    return true;
}

std::vector<double> SumInBlockOrder(Communicator& comm, int blockCount, const std::vector<int>& mine,
                                    std::size_t width, const std::function<void(int, double*)>& fill) {
    // Each block's row is filled by the one rank holding it and zero on the
    // others: the sum over ranks adds only zeros to it, which is exact.
    std::vector<double> rows(static_cast<std::size_t>(blockCount) * width, 0.0);
    for (int block : mine)
        fill(block, rows.data() + static_cast<std::size_t>(block) * width);
    comm.Allreduce(rows.data(), rows.size(), Communicator::Reduce::Sum);
    std::vector<double> totals(width, 0.0);
    for (int block = 0; block < blockCount; ++block)
        for (std::size_t i = 0; i < width; ++i)
            totals[i] += rows[static_cast<std::size_t>(block) * width + i];
    return totals;
}

std::pair<int, int> ShareOf(int count, int rank, int size) {
    size = std::max(1, size);
    const auto at = [&](int r) { return static_cast<int>(static_cast<long long>(count) * r / size); };
    return {at(rank), at(rank + 1)};
}

} // namespace tessera
