#include "forms/dialogs/BorderUnit.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "forms/mainwindow/Icons.h"

namespace {

// The picture: a square panel with bars of kBar pixels along its edges and
// through its middle. The toggle buttons beside it are as high (or wide) as a
// bar's spacing allows, so that each lines up with its bar.
constexpr int kPanel = 120;
constexpr int kInset = 7;
constexpr int kBar = 14;
constexpr int kRim = 3;
constexpr int kButton = 28;
constexpr int kContrast = 16;

QColor Shifted(const QColor& c, int by) {
  return QColor(std::clamp(c.red() + by, 0, 255), std::clamp(c.green() + by, 0, 255),
                std::clamp(c.blue() + by, 0, 255));
}

}  // namespace

TRuleBar::TRuleBar(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::PointingHandCursor);
}

void TRuleBar::SetOn(bool on) {
  // Over the bars that are off, under none that is on.
  if (on) raise();
  else lower();
  if (on == FOn) return;
  FOn = on;
  update();
}

void TRuleBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  if (FOn) painter.fillRect(rect().adjusted(kRim, kRim, -kRim, -kRim), Qt::black);
}

void TRuleBar::mousePressEvent(QMouseEvent* event) {
  event->accept();
  emit MouseDown();
}

TBorderForm::TBorderForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Borders");
  setObjectName("BorderForm");

  Panel = new QFrame(this);
  Panel->setFixedSize(kPanel, kPanel);
  Panel->setAutoFillBackground(true);
  QPalette grey = Panel->palette();
  grey.setColor(QPalette::Window, QColor(0xd4, 0xd4, 0xd4));
  Panel->setPalette(grey);
  auto bar = [this](int x, int y, int w, int h, const char* hint) {
    auto* b = new TRuleBar(Panel);
    b->setGeometry(x, y, w, h);
    b->setToolTip(hint);
    return b;
  };
  const int far = kPanel - kInset - kBar;
  const int middle = (kPanel - kBar) / 2;
  const int length = kPanel - 2 * kInset;
  // Where two bars cross, the one on top takes a press there. A bar that is
  // on rises above those that are off, so that an off bar does not cut it.
  rTop = bar(kInset, kInset, length, kBar, "Top rule");
  rVCenter = bar(kInset, middle, length, kBar, "Inner horizontal rules");
  rBottom = bar(kInset, far, length, kBar, "Bottom rule");
  rLeft = bar(kInset, kInset, kBar, length, "Left rule");
  rHCenter = bar(middle, kInset, kBar, length, "Inner vertical rules");
  rRight = bar(far, kInset, kBar, length, "Right rule");

  auto toggle = [this](const char* icon, const char* hint) {
    auto* b = new QToolButton(this);
    b->setCheckable(true);
    b->setIcon(LoadIcon(icon));
    b->setIconSize(QSize(20, 20));
    b->setFixedSize(kButton, kButton);
    b->setToolTip(hint);
    b->setAccessibleName(hint);
    return b;
  };
  bTop = toggle("rules-top", "Top rule");
  bVCenter = toggle("rules-inner-horizontal", "Inner horizontal rules");
  bBottom = toggle("rules-bottom", "Bottom rule");
  bLeft = toggle("rules-left", "Left rule");
  bHCenter = toggle("rules-inner-vertical", "Inner vertical rules");
  bRight = toggle("rules-right", "Right rule");

  Label1 = new QLabel("Presets:", this);
  auto preset = [this](const char* icon, const char* caption) {
    auto* b = new QToolButton(this);
    b->setIcon(LoadIcon(icon));
    b->setIconSize(QSize(32, 32));
    b->setText(caption);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setMinimumWidth(56);
    return b;
  };
  bAll = preset("rules-all", "All");
  bBorder = preset("rules-outer", "Border");
  bNone = preset("rules-none", "None");

  bOK = new QPushButton("OK", this);
  bOK->setDefault(true);
  bCancel = new QPushButton("Cancel", this);

  FRules = {{{1, bTop, rTop},
             {2, bBottom, rBottom},
             {4, bVCenter, rVCenter},
             {8, bLeft, rLeft},
             {16, bRight, rRight},
             {32, bHCenter, rHCenter}}};

  // The buttons of the horizontal rules stand in a column left of the
  // picture, those of the vertical rules in a row below it, each beside its bar.
  auto* column = new QVBoxLayout;
  column->setSpacing(0);
  column->addWidget(bTop);
  column->addStretch();
  column->addWidget(bVCenter);
  column->addStretch();
  column->addWidget(bBottom);
  auto* row = new QHBoxLayout;
  row->setSpacing(0);
  row->addWidget(bLeft);
  row->addStretch();
  row->addWidget(bHCenter);
  row->addStretch();
  row->addWidget(bRight);
  auto* picture = new QGridLayout;
  picture->setSpacing(6);
  picture->addLayout(column, 0, 0);
  picture->addWidget(Panel, 0, 1);
  picture->addLayout(row, 1, 1);
  // The column and the row sit kInset - (kButton - kBar) / 2 pixels in from
  // the panel's edges, so their ends line up with the bars.
  const int shift = kInset - (kButton - kBar) / 2;
  column->setContentsMargins(0, shift, 0, shift);
  row->setContentsMargins(shift, 0, shift, 0);

  auto* presets = new QHBoxLayout;
  presets->addWidget(bAll);
  presets->addWidget(bBorder);
  presets->addWidget(bNone);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(bOK);
  buttons->addWidget(bCancel);
  auto* right = new QVBoxLayout;
  right->addWidget(Label1);
  right->addLayout(presets);
  right->addStretch();
  right->addLayout(buttons);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(picture);
  layout->addSpacing(12);
  layout->addLayout(right);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  setTabOrder(bTop, bVCenter);
  setTabOrder(bVCenter, bBottom);
  setTabOrder(bBottom, bLeft);
  setTabOrder(bLeft, bHCenter);
  setTabOrder(bHCenter, bRight);
  setTabOrder(bRight, bAll);
  setTabOrder(bAll, bBorder);
  setTabOrder(bBorder, bNone);
  setTabOrder(bNone, bOK);
  setTabOrder(bOK, bCancel);

  for (const TRule& r : FRules) {
    QToolButton* b = r.Button;
    TRuleBar* p = r.Bar;
    connect(b, &QToolButton::clicked, this, [this, b] { DoClick(b); });
    connect(p, &TRuleBar::MouseDown, this, [this, p] { DoMouseDown(p); });
  }
  for (QToolButton* b : {bAll, bBorder, bNone})
    connect(b, &QToolButton::clicked, this, [this, b] { DoPreset(b); });
  connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
  ShowMask();
}

bool TBorderForm::Execute(int& mask) {
  Mask = mask;
  if (exec() != QDialog::Accepted) return false;
  mask = Mask;
  return true;
}

void TBorderForm::DoClick(QToolButton* button) {
  for (const TRule& r : FRules)
    if (r.Button == button) Mask ^= r.Bit;
  ShowMask();
}

void TBorderForm::DoMouseDown(TRuleBar* bar) {
  for (const TRule& r : FRules)
    if (r.Bar == bar) Mask ^= r.Bit;
  ShowMask();
}

void TBorderForm::DoPreset(QToolButton* preset) {
  if (preset == bAll) Mask = 63;
  else if (preset == bBorder) Mask = 27;
  else if (preset == bNone) Mask = 0;
  ShowMask();
}

void TBorderForm::ShowMask() {
  for (const TRule& r : FRules) ShowRuleState(r.Button, r.Bar, (Mask & r.Bit) != 0);
}

void TBorderForm::ShowRuleState(QToolButton* button, TRuleBar* bar, bool on) {
  // A click has already flipped the button's own check; this makes it agree
  // with the mask whatever changed it.
  button->setChecked(on);
  const QWidget* parent = button->parentWidget();
  const QColor face = on ? QColor(Qt::white) : parent->palette().color(parent->backgroundRole());
  const QColor hover = Shifted(face, on ? -kContrast : kContrast);
  button->setStyleSheet(QStringLiteral("QToolButton { background-color: %1; border: 1px solid palette(mid);"
                                       " border-radius: 2px; }"
                                       "QToolButton:hover { background-color: %2; }"
                                       "QToolButton:focus { border: 1px solid palette(highlight); }")
                            .arg(face.name(), hover.name()));
  bar->SetOn(on);
}

void TBorderForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ShowMask();
}
