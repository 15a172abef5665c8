#include "text_metrics.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace vantrel::testsupport {

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diag = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

std::size_t bestMatchDistance(std::string_view sent, std::string_view received) {
    // Rows over the received text start at 0 (a match may begin anywhere) and the answer is the
    // minimum of the last row (it may end anywhere).
    std::vector<std::size_t> col(sent.size() + 1);
    std::iota(col.begin(), col.end(), std::size_t{0});
    std::size_t best = col[sent.size()];
    for (std::size_t j = 1; j <= received.size(); ++j) {
        std::size_t diag = col[0];
        col[0] = 0;
        for (std::size_t i = 1; i <= sent.size(); ++i) {
            const std::size_t left = col[i];
            col[i] = std::min({col[i] + 1, col[i - 1] + 1, diag + (sent[i - 1] == received[j - 1] ? 0 : 1)});
            diag = left;
        }
        best = std::min(best, col[sent.size()]);
    }
    return best;
}

double characterErrorRate(std::string_view sent, std::string_view received) {
    if (sent.empty()) return 0;
    return static_cast<double>(bestMatchDistance(sent, received)) / static_cast<double>(sent.size());
}

}  // namespace vantrel::testsupport
