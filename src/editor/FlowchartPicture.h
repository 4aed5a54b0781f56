#pragma once

#include <QImage>
#include <string>

#include "program/EventRecord.h"

namespace viren {

class ProgramCanvas;

// The flowchart as a picture for worksheets: the whole canvas without the
// selection frame.
//
// As SVG: the connection lines, the box frames and the values under the
// boxes are drawn as lines, rectangles and text; the picture inside each box
// (command picture, state glyphs, position mark) is embedded as a small PNG.
std::string FlowchartSvg(const ProgramCanvas& canvas, const EventRecord* records, int count);

// Writes `path` as SVG when it ends in ".svg" (any case), else as PNG.
// False when the file cannot be written.
bool ExportFlowchart(const ProgramCanvas& canvas, const EventRecord* records, int count,
                     const std::string& path);

}  // namespace viren
