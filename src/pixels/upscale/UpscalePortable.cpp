#include "pixels/upscale/UpscaleKernels.h"

template <typename Pixel>
void KeepColumns(const Pixel* current, uint32_t begin, uint32_t end, Pixel* left, Pixel* right)
{
    for (uint32_t column = begin; column < end; ++column)
        left[column] = right[column] = current[column];
}

// The Scale2x rule for the upper half of a block, with the names of the upper
// half; the lower half is the same rule with the vertical neighbours swapped.
template <typename Pixel>
void RuleColumns(const NeighbourRows<Pixel>& rows, uint32_t begin, uint32_t end, Pixel* left, Pixel* right)
{
    const Pixel* b = rows.vertical + begin;
    const Pixel* h = rows.opposite + begin;
    const Pixel* e = rows.current + begin;
    Pixel* leftOut = left + begin;
    Pixel* rightOut = right + begin;
    for (const Pixel* const stop = rows.current + end; e != stop; ++b, ++h, ++e, ++leftOut, ++rightOut) {
        const Pixel d = e[-1];
        const Pixel f = e[1];
        *leftOut = (d == *b && d != *h && *b != f) ? *b : *e;
        *rightOut = (*b == f && *b != d && f != *h) ? *b : *e;
    }
}

template <typename Pixel>
void RuleRowPortable(const NeighbourRows<Pixel>& rows, const StripColumns& columns, Pixel* left, Pixel* right)
{
    KeepColumns(rows.current, 0, columns.interiorBegin, left, right);
    RuleColumns(rows, columns.interiorBegin, columns.interiorEnd, left, right);
    KeepColumns(rows.current, columns.interiorEnd, columns.count, left, right);
}

template <typename Pixel>
static Pixel* Fill(Pixel* output, Pixel value, uint32_t count)
{
    for (Pixel* end = output + count; output != end; ++output)
        *output = value;
    return output;
}

template <typename Pixel>
Pixel* SpreadColumns(const Pixel* left, const Pixel* right, const ColumnWidths& widths, uint32_t begin, uint32_t end,
                     Pixel* output)
{
    for (uint32_t column = begin; column < end; ++column) {
        output = Fill(output, left[column], widths.places[column].first);
        output = Fill(output, right[column], widths.places[column].second);
    }
    return output;
}

// Places of zero, one or two a column, as beyond 2x, would make the filling
// loops branch unpredictably; one lookup a place does not.
template <typename Pixel>
void SpreadRowPortable(const Pixel* left, const Pixel* right, const ColumnWidths& widths, Pixel* output)
{
    if (!widths.shown) {
        SpreadColumns(left, right, widths, 0, widths.count, output);
        return;
    }
    const Pixel* const values[2] = {left, right};
    const uint16_t* shown = widths.shown;
    for (Pixel* const end = output + widths.outputCount; output != end; ++output, ++shown)
        *output = values[*shown & 1][*shown >> 1];
}

template void KeepColumns(const uint8_t*, uint32_t, uint32_t, uint8_t*, uint8_t*);
template void KeepColumns(const uint16_t*, uint32_t, uint32_t, uint16_t*, uint16_t*);
template void KeepColumns(const uint32_t*, uint32_t, uint32_t, uint32_t*, uint32_t*);
template void RuleColumns(const NeighbourRows<uint8_t>&, uint32_t, uint32_t, uint8_t*, uint8_t*);
template void RuleColumns(const NeighbourRows<uint16_t>&, uint32_t, uint32_t, uint16_t*, uint16_t*);
template void RuleColumns(const NeighbourRows<uint32_t>&, uint32_t, uint32_t, uint32_t*, uint32_t*);
template void RuleRowPortable(const NeighbourRows<uint8_t>&, const StripColumns&, uint8_t*, uint8_t*);
template void RuleRowPortable(const NeighbourRows<uint16_t>&, const StripColumns&, uint16_t*, uint16_t*);
template void RuleRowPortable(const NeighbourRows<uint32_t>&, const StripColumns&, uint32_t*, uint32_t*);
template uint8_t* SpreadColumns(const uint8_t*, const uint8_t*, const ColumnWidths&, uint32_t, uint32_t, uint8_t*);
template uint16_t* SpreadColumns(const uint16_t*, const uint16_t*, const ColumnWidths&, uint32_t, uint32_t, uint16_t*);
template uint32_t* SpreadColumns(const uint32_t*, const uint32_t*, const ColumnWidths&, uint32_t, uint32_t, uint32_t*);
template void SpreadRowPortable(const uint8_t*, const uint8_t*, const ColumnWidths&, uint8_t*);
template void SpreadRowPortable(const uint16_t*, const uint16_t*, const ColumnWidths&, uint16_t*);
template void SpreadRowPortable(const uint32_t*, const uint32_t*, const ColumnWidths&, uint32_t*);
