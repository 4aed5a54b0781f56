#include "editor/ui/CEventDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "editor/ui/DialogSupport.h"
#include "editor/ui/SpinButtons.h"

namespace viren {

CEventDlg::CEventDlg(EventKind kind, const EventDialogValues& values,
                     const CommandDialogContext& context, UiHost& ui, QWidget* parent)
    : QDialog(parent),
      kind_(kind),
      values_(values),
      context_(context),
      setup_(SetUpEventDialog(kind, context)),
      ui_(ui),
      group_(new QButtonGroup(this)),
      value1_(new QLineEdit(this)),
      value2_(new QLineEdit(this)),
      spin1_(new SpinButtons(value1_, this)),
      spin2_(new SpinButtons(value2_, this)),
      label1_(new QLabel(this)),
      label2_(new QLabel(this)),
      check_(new QCheckBox(this)),
      reference_(new QPushButton(QStringLiteral("ｶﾒﾗ参照"), this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("キャンセル"), this)) {
  setWindowTitle(Utf8(setup_.caption));

  auto* choices = new QVBoxLayout;
  const int radioIds[5] = {IDC_EVENT_RADIO1, IDC_EVENT_RADIO2, IDC_EVENT_RADIO3, IDC_EVENT_RADIO4,
                           IDC_EVENT_RADIO5};
  for (int i = 0; i < 5; ++i) {
    radios_[i] = new QRadioButton(this);
    radios_[i]->setObjectName(ControlName(radioIds[i]));
    group_->addButton(radios_[i], i);
    choices->addWidget(radios_[i]);
    const bool shown = i < 4 && !setup_.radios[i].empty();
    if (shown) radios_[i]->setText(Utf8(setup_.radios[i]));
    radios_[i]->setVisible(shown);
  }
  if (values_.option >= 0 && values_.option < 4) radios_[values_.option]->setChecked(true);

  value1_->setObjectName(ControlName(IDC_EVENT_VALUE1));
  value2_->setObjectName(ControlName(IDC_EVENT_VALUE2));
  spin1_->setObjectName(ControlName(IDC_EVENT_SPIN1));
  spin2_->setObjectName(ControlName(IDC_EVENT_SPIN2));
  label1_->setObjectName(ControlName(IDC_EVENT_LABEL1));
  label2_->setObjectName(ControlName(IDC_EVENT_LABEL2));
  check_->setObjectName(ControlName(IDC_EVENT_CHECK));
  reference_->setObjectName(ControlName(IDC_EVENT_REFERENCE));
  value1_->setText(QString::number(values_.value1));
  value2_->setText(QString::number(values_.value2));
  check_->setChecked(values_.check != 0);

  // Hidden controls stay disabled; the shown edit fields start enabled.
  value1_->setVisible(setup_.value1Shown);
  spin1_->setVisible(setup_.value1Shown);
  label1_->setVisible(setup_.value1Shown);
  value1_->setEnabled(setup_.value1Shown);
  spin1_->setEnabled(setup_.value1Shown);
  label1_->setText(Utf8(setup_.label1));
  spin1_->SetRange(setup_.spin1Min, setup_.spin1Max);
  value2_->setVisible(setup_.value2Shown);
  spin2_->setVisible(setup_.value2Shown);
  label2_->setVisible(setup_.value2Shown);
  value2_->setEnabled(setup_.value2Shown);
  spin2_->setEnabled(setup_.value2Shown);
  label2_->setText(Utf8(setup_.label2));
  spin2_->SetRange(setup_.spin2Min, setup_.spin2Max);
  check_->setVisible(setup_.checkShown);
  check_->setText(Utf8(setup_.checkText));
  reference_->setVisible(setup_.referenceShown);
  if (setup_.referenceShown) reference_->setText(Utf8(setup_.referenceText));

  auto* fields = new QGridLayout;
  fields->addWidget(label1_, 0, 0);
  fields->addWidget(value1_, 0, 1);
  fields->addWidget(spin1_, 0, 2);
  fields->addWidget(label2_, 1, 0);
  fields->addWidget(value2_, 1, 1);
  fields->addWidget(spin2_, 1, 2);
  fields->addWidget(check_, 2, 0, 1, 3);
  fields->addWidget(reference_, 3, 0, 1, 3);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  buttons->addStretch();

  auto* body = new QHBoxLayout(this);
  body->addLayout(choices);
  body->addLayout(fields);
  body->addLayout(buttons);

  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &CEventDlg::accept);
  connect(cancel_, &QPushButton::clicked, this, &CEventDlg::reject);
  connect(reference_, &QPushButton::clicked, this, &CEventDlg::OnReference);
  connect(group_, &QButtonGroup::idClicked, this, [this] {
    ReadChoices();
    ApplyEnabling();
  });
  connect(check_, &QCheckBox::clicked, this, [this] {
    ReadChoices();
    ApplyEnabling();
  });
  ApplyEnabling();
}

void CEventDlg::ReadChoices() {
  const int chosen = group_->checkedId();
  values_.option = chosen < 0 ? 0 : chosen;
  values_.check = check_->isChecked() ? 1 : 0;
}

void CEventDlg::ApplyEnabling() {
  const EventDialogEnabling e = EnableEventControls(kind_, values_, setup_);
  if (setup_.value1Shown) {
    value1_->setEnabled(e.value1);
    spin1_->setEnabled(e.value1);
    if (!e.label1.empty()) label1_->setText(Utf8(e.label1));
    spin1_->SetRange(e.spin1Min, e.spin1Max);
  }
  if (setup_.value2Shown) {
    value2_->setEnabled(e.value2);
    spin2_->setEnabled(e.value2);
  }
  if (setup_.checkShown) check_->setEnabled(e.check);
  if (setup_.referenceShown) reference_->setEnabled(e.reference);
}

bool CEventDlg::ExchangeEdits() {
  EventDialogValues v = values_;
  if (!ExchangeEdit(ui_, value1_, kEventEditMin, kEventEditMax, IDC_EVENT_VALUE1, v.value1))
    return false;
  if (!ExchangeEdit(ui_, value2_, kEventEditMin, kEventEditMax, IDC_EVENT_VALUE2, v.value2))
    return false;
  values_ = v;
  ReadChoices();
  return true;
}

void CEventDlg::accept() {
  if (!ExchangeEdits()) return;
  if (const auto refused = ValidateEvent(kind_, values_, context_)) {
    ShowRefusal(ui_, refused->control == IDC_EVENT_VALUE2 ? value2_ : value1_, *refused);
    return;
  }
  QDialog::accept();
}

void CEventDlg::OnReference() {
  if (kind_ == EVENT_SOUND) {
    // The sound list may change under the dialog: the number's range follows.
    if (!editSoundList_) return;
    ReadChoices();
    context_.soundCount = editSoundList_();
    setup_ = SetUpEventDialog(kind_, context_);
    ApplyEnabling();
    return;
  }
  // The position dialog's button places a point.
  if (kind_ != EVENT_POSITION) return;
  if (!ExchangeEdits()) return;
  values_.option = kReferenceOption;
  QDialog::accept();
}

}  // namespace viren
