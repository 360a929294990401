// The damage that a running job has met so far, shown as the progress bar's caption: a user
// whose card fails learns it while the scan or the copy goes on, not only from the closing
// message.
#include <QProgressBar>

#include "ui/main_form.h"
#include "workflow/analysis.h"

namespace dravelo {

void T_mainForm::damage_met(std::string_view path, std::int64_t sectors, double seconds) {
  const QString text = QString::fromStdString(damage_so_far_text(path, sectors, seconds));
  // A literal percent sign in the caption would be taken for a placeholder.
  AdvProgressBar->setFormat(QString(text).replace(QLatin1Char('%'), QStringLiteral("%%")));
  AdvProgressBar->setToolTip(text);
  AdvProgressBar->setAccessibleDescription(text);
  AdvProgressBar->setTextVisible(true);
  AdvProgressBar->update();
}

void T_mainForm::clearDamageCaption() {
  AdvProgressBar->setTextVisible(false);
  AdvProgressBar->setFormat(QStringLiteral("%p%"));
  AdvProgressBar->setToolTip(QString());
  AdvProgressBar->setAccessibleDescription(QString());
}

}  // namespace dravelo
