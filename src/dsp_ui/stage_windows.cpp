#include "dsp_ui/stage_windows.h"

#include "dsp_ui/compressor_dsp_frm.h"
#include "dsp_ui/dsp_window_registry.h"
#include "dsp_ui/eq_dsp_frm.h"
#include "dsp_ui/gain_dsp_frm.h"
#include "dsp_ui/vst_param_frm.h"

void RegisterStageWindows()
{
  RegisterStageWindow(dspEqualizer, {&TEqDSPFrm::Open, &TEqDSPFrm::CloseOpen});
  RegisterStageWindow(dspCompressor, {&TCompressorDSPFrm::Open, &TCompressorDSPFrm::CloseOpen});
  RegisterStageWindow(dspGain, {&TGainDSPFrm::Open, &TGainDSPFrm::CloseOpen});
  RegisterVSTParamWindow(&CreateVSTParamWindow);
}
