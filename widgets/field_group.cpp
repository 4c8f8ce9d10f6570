#include "widgets/field_group.h"

#include <QLineEdit>

namespace thermo {

ApplyOutcome applyFields(NineFields fields,
                         const std::function<ApplyOutcome(const FieldTexts&)>& apply) {
    FieldTexts texts;
    for (std::size_t k = 0; k < texts.size(); ++k)
        texts[k] = fields[k]->text().toStdString();
    const ApplyOutcome r = apply(texts);
    if (r.stop == ApplyOutcome::Stop::Malformed) {
        QLineEdit* bad = fields[static_cast<std::size_t>(r.field)];
        bad->setFocus();
        bad->selectAll();
    }
    return r;
}

void showTexts(NineFields fields, const FieldTexts& texts) {
    for (std::size_t k = 0; k < texts.size(); ++k)
        fields[k]->setText(QString::fromStdString(texts[k]));
}

} // namespace thermo
