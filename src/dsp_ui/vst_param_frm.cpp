#include "dsp_ui/vst_param_frm.h"

#include "dsp/vst_binding.h"
#include "dsp_ui/dpi_units.h"
#include "dsp_ui/kel_track_bar.h"
#include "dsp_ui/stage_window_common.h"

#include <QCloseEvent>
#include <QLabel>
#include <QScrollArea>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Plug-in texts are 8-bit UTF-8, zero-terminated within their field.
QString PluginText(const char* AText, size_t ASize)
{
  return QString::fromUtf8(AText, qsizetype(strnlen(AText, ASize)));
}

QString DisplayText(const BASS_VST_PARAM_INFO& AInfo)
{
  const QString Unit = PluginText(AInfo.unit, sizeof(AInfo.unit)).trimmed();
  const QString Display = PluginText(AInfo.display, sizeof(AInfo.display)).trimmed();
  return Unit.isEmpty() ? Display : Display + QLatin1Char(' ') + Unit;
}

} // namespace

TFrmVSTParam::TFrmVSTParam(QWidget* AParent) : QWidget(AParent, Qt::Window)
{
  setObjectName(QStringLiteral("FrmVSTParam"));
  setWindowTitle(QStringLiteral("VST"));
  // Hidden or shown, it must not keep the program running once the main window closes.
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* Close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(Close, &QShortcut::activated, this, &QWidget::close);
}

TFrmVSTParam::~TFrmVSTParam()
{
  // The plug-in draws into a child of this window's X window, which goes with this widget.
  if (FEditorOpen && VSTBound())
    VST().EmbedEditor(FEditorHandle, 0);
}

std::unique_ptr<TFrmVSTParam> TFrmVSTParam::Create(TDSPItemC* AItem, bool AUseTextUI,
                                                   QWidget* AOwner)
{
  auto Form = std::make_unique<TFrmVSTParam>();
  const DWORD Handle = AItem ? AItem->H : 0;
  BASS_VST_INFO Info{};
  const bool HaveInfo = Handle != 0 && VSTBound() && VST().GetInfo(Handle, &Info);
  // Sizes are the plug-in's own pixels: its editor is drawn at that size whatever the scale.
  const int Width = HaveInfo && Info.editorWidth > 0 ? int(Info.editorWidth) : 600;
  const int Height = HaveInfo && Info.editorHeight > 0 ? int(Info.editorHeight) : 600;
  Form->resize(Width, Height);
  if (AUseTextUI) {
    Form->resize(ScaleFrom96Dpi(Form.get(), 500), ScaleFrom96Dpi(Form.get(), 400));
    Form->H = Handle;
    Form->BuildVSTTextUI();
  } else {
    Form->EmbedEditor(Handle);
  }
  CenterOnOwner(Form.get(), AOwner);
  return Form;
}

std::unique_ptr<QWidget> CreateVSTParamWindow(TDSPItemC* AItem, bool AUseTextUI, QWidget* AOwner)
{
  return TFrmVSTParam::Create(AItem, AUseTextUI, AOwner);
}

void TFrmVSTParam::BuildVSTTextUI()
{
  UI.clear();
  delete FScroll;
  FScroll = nullptr;
  delete layout();

  const auto S = [this](int ASize) { return ScaleFrom96Dpi(this, ASize); };
  FScroll = new QScrollArea(this);
  FScroll->setObjectName(QStringLiteral("sbParams"));
  FScroll->setFrameShape(QFrame::NoFrame);
  auto* Panel = new QWidget;
  Panel->setObjectName(QStringLiteral("pnParams"));
  auto* Main = new QVBoxLayout(this);
  Main->setContentsMargins(0, 0, 0, 0);
  Main->addWidget(FScroll);

  int Count = 0;
  if (H != 0 && VSTBound())
    Count = qBound(0, VST().GetParamCount(H), int(MaxTextUIParams));
  UI.resize(size_t(Count));

  const int TrackLeft = fontMetrics().horizontalAdvance(QString(16, QLatin1Char('W')));
  const int TrackWidth = S(200);
  const int ValLeft = TrackLeft + TrackWidth + S(8);
  // The value texts get what is left of the window's width beside a vertical scroll bar, and at
  // least room for a long value with its unit.
  const int ScrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const int ValWidth = qMax(fontMetrics().horizontalAdvance(QStringLiteral("-000.000 dB")),
                            width() - ValLeft - S(6) - ScrollBar);
  int RowHeight = S(20);
  int Pitch = S(28);
  QWidget* Previous = nullptr;
  for (int i = 0; i < Count; ++i) {
    BASS_VST_PARAM_INFO Info{};
    if (!VST().GetParamInfo(H, i, &Info))
      continue;
    const QString Name = PluginText(Info.name, sizeof(Info.name));
    TVSTUI& Row = UI[size_t(i)];

    Row.Track = new TKelTrackBar(Panel);
    Row.Track->setObjectName(QStringLiteral("Track%1").arg(i));
    RowHeight = qMax(RowHeight, Row.Track->sizeHint().height());
    Pitch = qMax(Pitch, RowHeight + S(4));
    const int Top = Pitch * i + S(10);

    Row.Name = new QLabel(Name, Panel);
    Row.Name->setObjectName(QStringLiteral("Name%1").arg(i));
    Row.Name->setGeometry(S(6), Top, qMax(S(20), TrackLeft - S(10)), RowHeight);

    Row.Track->setGeometry(TrackLeft, Top, TrackWidth, RowHeight);
    Row.Track->setTickPosition(QSlider::NoTicks);
    Row.Track->SetTag(i);
    Row.Track->SetAccessibleName(Name);
    // VST parameters run from 0 to 1; the slider starts where the parameter is, so that the
    // first key press nudges the value instead of throwing it to the middle of the range.
    Row.Track->setRange(0, 1000);
    Row.Track->SetLineSize(10);
    Row.Track->SetPageSize(100);
    const float Current = qBound(0.0f, VST().GetParam(H, i), 1.0f);
    Row.Track->SetPosition(int(std::lround(Current * 1000.0f)));

    Row.Val = new QLabel(DisplayText(Info), Panel);
    Row.Val->setObjectName(QStringLiteral("Val%1").arg(i));
    Row.Val->setGeometry(ValLeft, Top, ValWidth, RowHeight);

    QLabel* Val = Row.Val;
    // A screen reader hears the plug-in's own text for the value ("-6.0 dB"), not the position.
    Row.Track->SetOnGetAccessibleValue([Val](QObject*, QString& AValue) { AValue = Val->text(); });
    Row.Track->SetOnChange([this](QObject* ASender) { OnTextUITrackChange(ASender); });
    Row.Track->installEventFilter(this);
    if (Previous)
      setTabOrder(Previous, Row.Track);
    Previous = Row.Track;
  }
  Panel->setFixedSize(ValLeft + ValWidth + S(6), Pitch * Count + S(10) + S(6));
  FScroll->setWidget(Panel);
}

void TFrmVSTParam::OnTextUITrackChange(QObject* ASender)
{
  auto* Track = qobject_cast<TKelTrackBar*>(ASender);
  if (!Track || !VSTBound())
    return;
  const int I = Track->Tag();
  if (I < 0 || size_t(I) >= UI.size())
    return;
  const float Value = float(Track->Position()) / 1000.0f;
  VST().SetParam(H, I, Value);
  BASS_VST_PARAM_INFO Info{};
  if (UI[size_t(I)].Val && VST().GetParamInfo(H, I, &Info))
    UI[size_t(I)].Val->setText(DisplayText(Info));
}

void TFrmVSTParam::EmbedEditor(DWORD AHandle)
{
  FEditorHandle = AHandle;
  FEditorPending = AHandle != 0;
  if (isVisible())
    OpenEditor();
}

void TFrmVSTParam::OpenEditor()
{
  if (!FEditorPending)
    return;
  // The bridge opens the editor through its own display connection, which can only see this
  // window once our connection has sent its creation: so after the event loop's next turn.
  FEditorPending = false;
  QTimer::singleShot(0, this, [this] {
    if (!VSTBound() || FEditorHandle == 0)
      return;
    FEditorOpen = VST().EmbedEditor(FEditorHandle, uintptr_t(winId()));
    if (!FEditorOpen)
      ShowParameterListInstead();
  });
}

void TFrmVSTParam::ShowParameterListInstead()
{
  // An empty window would tell the user nothing: say why, and offer what works without the
  // plug-in's own window.
  H = FEditorHandle;
  FEditorHandle = 0;
  resize(qMax(width(), ScaleFrom96Dpi(this, 500)), qMax(height(), ScaleFrom96Dpi(this, 400)));
  BuildVSTTextUI();
  auto* Note = new QLabel(
      QStringLiteral("The plugin's own window could not be opened. Its parameters are listed "
                     "instead."),
      this);
  Note->setObjectName(QStringLiteral("lbEditorFailed"));
  Note->setWordWrap(true);
  const int Margin = ScaleFrom96Dpi(this, 6);
  Note->setContentsMargins(Margin, Margin, Margin, 0);
  if (auto* Main = qobject_cast<QVBoxLayout*>(layout()))
    Main->insertWidget(0, Note);
  // The window is on the screen already: its new children must be shown now, not at the event
  // loop's next turn, so that the focus can go to the first slider.
  Note->show();
  if (FScroll)
    FScroll->show();
  for (const TVSTUI& Row : UI)
    if (Row.Track) {
      Row.Track->setFocus();
      break;
    }
}

void TFrmVSTParam::closeEvent(QCloseEvent* AEvent)
{
  AEvent->ignore();
  hide();
}

void TFrmVSTParam::showEvent(QShowEvent* AEvent)
{
  QWidget::showEvent(AEvent);
  OpenEditor();
}

bool TFrmVSTParam::eventFilter(QObject* AWatched, QEvent* AEvent)
{
  // Tabbing through a long list keeps the focused slider in view.
  if (AEvent->type() == QEvent::FocusIn && FScroll)
    if (auto* Track = qobject_cast<TKelTrackBar*>(AWatched))
      FScroll->ensureWidgetVisible(Track);
  return QWidget::eventFilter(AWatched, AEvent);
}
