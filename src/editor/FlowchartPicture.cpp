#include "editor/FlowchartPicture.h"

#include <QBuffer>
#include <QByteArray>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "editor/ProgramCanvas.h"
#include "editor/ProgramLayout.h"

namespace viren {
namespace {

std::string Hex(const QColor& c) {
  return c.name(QColor::HexRgb).toStdString();
}

// Text for an SVG text node.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string PngBase64(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toBase64().toStdString();
}

bool EndsWithSvg(const std::string& path) {
  if (path.size() < 4) return false;
  std::string end = path.substr(path.size() - 4);
  std::transform(end.begin(), end.end(), end.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return end == ".svg";
}

}  // namespace

std::string FlowchartSvg(const ProgramCanvas& canvas, const EventRecord* records, int count) {
  count = std::clamp(count, 0, kProgramSlots);
  const CanvasStyle& style = canvas.style();
  const QImage& image = canvas.image();
  std::ostringstream svg;
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\""
      << " width=\"" << image.width() << "\" height=\"" << image.height() << "\" viewBox=\"0 0 "
      << image.width() << ' ' << image.height() << "\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  // Half-pixel offsets put one-pixel lines on the pixels the canvas uses.
  svg << "<g fill=\"none\" stroke=\"" << Hex(style.linkColor) << "\" stroke-width=\""
      << std::max(1, style.linkWidth) << "\" transform=\"translate(0.5 0.5)\">\n";
  for (const ConnectionLine& line : ConnectionRoutes(records, count)) {
    svg << "<polyline points=\"";
    for (const Point& p : line.points) svg << p.x << ',' << p.y << ' ';
    svg << "\"/>\n";
  }
  svg << "</g>\n";
  for (int i = 0; i < count; ++i) {
    const EventRecord& r = records[i];
    if (r.kind == EVENT_FREE) continue;
    svg << "<rect x=\"" << r.x + 0.5 << "\" y=\"" << r.y + 0.5 << "\" width=\""
        << kCommandBoxSize - 1 << "\" height=\"" << kCommandBoxSize - 1 << "\" fill=\""
        << Hex(style.boxColor) << "\" stroke=\"#000000\" stroke-width=\"1\"/>\n";
    // The inside of the box as the canvas drew it.
    const QImage inside = image.copy(r.x + 1, r.y + 1, kCommandBoxSize - 2, kCommandBoxSize - 2);
    svg << "<image x=\"" << r.x + 1 << "\" y=\"" << r.y + 1 << "\" width=\"" << inside.width()
        << "\" height=\"" << inside.height() << "\" xlink:href=\"data:image/png;base64,"
        << PngBase64(inside) << "\"/>\n";
    const std::string label = CommandValueLabel(r);
    if (!label.empty())
      svg << "<text x=\"" << r.x + kCommandBoxSize / 2 << "\" y=\"" << r.y + kCommandBoxSize + 10
          << "\" font-size=\"11\" font-family=\"sans-serif\" text-anchor=\"middle\">"
          << Escaped(label) << "</text>\n";
  }
  svg << "</svg>\n";
  return svg.str();
}

bool ExportFlowchart(const ProgramCanvas& canvas, const EventRecord* records, int count,
                     const std::string& path) {
  if (!EndsWithSvg(path)) return canvas.image().save(QString::fromStdString(path), "PNG");
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << FlowchartSvg(canvas, records, count);
  out.close();
  return static_cast<bool>(out);
}

}  // namespace viren
