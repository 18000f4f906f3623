#pragma once
// The four parameter dialogs (resources 105, 106, 109, 110) and the dialog
// that prepares a series opened from a file (111) as templates. Static texts
// 1008, 1009, 1013, 1022 and 1023 hold placeholders that the dialog
// procedures replace when the dialog opens.

#include <span>

#include "platform/ui_templates.h"
#include "resources/command_ids.h"

namespace resources {

const platform::DialogTemplate& createSeriesDialog();        // 105
const platform::DialogTemplate& seriesStructureDialog();     // 106
const platform::DialogTemplate& requiredEtalonsDialog();     // 109
const platform::DialogTemplate& locationParametersDialog();  // 110
const platform::DialogTemplate& openSeriesDialog();          // 111

// The template with that resource number, or nullptr.
const platform::DialogTemplate* findDialogTemplate(int32_t id);

}  // namespace resources
