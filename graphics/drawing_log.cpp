#include "graphics/drawing_log.h"

namespace ql {

std::int32_t lastPlusStatus = 0;
Text drawingErrorLog;

void AppendDrawingError(const char* message) { drawingErrorLog += message; }

void ReplaceDrawingError(const char* message) { drawingErrorLog = Text(message); }

}  // namespace ql
