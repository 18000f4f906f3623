#pragma once
// The four parameter dialogs (resources 105, 106, 109, 110) as templates.
// Static texts 1008, 1009 and 1013 hold placeholders that the dialog
// procedures replace when the dialog opens.

#include <span>

#include "platform/ui_templates.h"
#include "resources/command_ids.h"

namespace resources {

const platform::DialogTemplate& createSeriesDialog();        // 105
const platform::DialogTemplate& seriesStructureDialog();     // 106
const platform::DialogTemplate& requiredEtalonsDialog();     // 109
const platform::DialogTemplate& locationParametersDialog();  // 110

// The template with that resource number, or nullptr.
const platform::DialogTemplate* findDialogTemplate(int32_t id);

}  // namespace resources
