// The fixed-layout lines that the report file and the console summary share,
// and the row values that both show.
#include "report/report_lines.h"

#include <cassert>
#include <cstring>

#include "report/report.h"

std::size_t formatCountLine(char* out, const char* label, std::int32_t count, bool& overflow) {
    std::memcpy(out, label, countLabelLength);
    overflow = !renderI6(out + countLabelLength, count);
    return countLabelLength + i6Width;
}

std::size_t formatDaysLine(char* out, double days, bool& overflow) {
    std::memcpy(out, daysLabel, countLabelLength);
    overflow = !renderF103(out + countLabelLength, days);
    std::memcpy(out + countLabelLength + f103Width, daysUnit, sizeof daysUnit - 1);
    return countLabelLength + f103Width + sizeof daysUnit - 1;
}

std::size_t formatValueRow(char* out, const char* label, const double* values, std::size_t count) {
    // 7 + 9 * 13 - 1 = 123 characters at most
    assert(count >= 1 && rowLabelLength + count * (e124Width + 1) - 1 <= lineCapacity);
    std::memcpy(out, label, rowLabelLength);
    std::size_t length = rowLabelLength;
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0) out[length++] = ' ';
        renderE124(out + length, values[k]);
        length += e124Width;
    }
    return length;
}

void formatSeriesLines(const FluxTotals& totals, FixedLine (&lines)[3]) {
    lines[0].length = formatCountLine(lines[0].text, sampleCountLabel, totals.sampleCount, lines[0].overflow);
    lines[1].length = formatCountLine(lines[1].text, outlierCountLabel, totals.outlierCount, lines[1].overflow);
    lines[2].length = formatDaysLine(lines[2].text, totals.days, lines[2].overflow);
}

bool showsLabels(const char* header, const UnitSet& units, std::span<const std::size_t> columns) {
    for (std::size_t column : columns) {
        header = std::strstr(header, units.columns[column].label);
        if (header == nullptr) return false;
        header += std::strlen(units.columns[column].label);
    }
    return true;
}

ReportRows reportRows(const FluxTotals& totals, const UnitSet& units) {
    ReportRows rows;
    const double rowTotals[4] = {totals.Qin, totals.Qout, totals.Qgross, totals.Qnet};
    for (int row = 0; row < 4; ++row) rows.columnCount = rowValues(units, rowTotals[row], totals.days, rows.values[row]);
    return rows;
}
