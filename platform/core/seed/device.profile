# Device profile of the emulated television.
# One value per line: <key> <type> <value>. Types: string, int, bool (0/1), bytes (hex).
# info/<n>      system information, by the platform's integer key
# custom/<key>  system information, custom feature keys
# settings/<n>  system settings, by the platform's integer key (writes persist here)
# other names   values of the TV service stand-ins
info/7        string  6.5.0
info/8        string  2026-11-15 12:34:56
info/90       string  KTM_EU_KDEU
info/126      int     0
info/128      string  T-KTMDEUC-1234.5
info/187      string  0AB3C4DEF00123K
info/292      string  QE55Q80TV
custom/com.kestova/featureconf/remote_service.enable  bool  1
custom/com.kestova/featureconf/tv_model_type          int   2
custom/com.kestova/featureconf/product.tv_year        int   21
custom/com.kestova/featureconf/product.product_type   int   0
custom/com.kestova/featureconf/hdr_plus_support       bool  1
settings/10001  string  2025-11-20
settings/10008  int     1
settings/10036  string  DE
# TV service stand-ins (platform/tvservice)
tv/signal_strength     int     57
tv/snr                 int     2345
tv/picture_size        int     1
tv/pip_antenna_mode    int     0
tv/pip_service_mode    int     1
qorv/hdr_plus_mode     int     0
qorv/picture_mode      int     1
qorv/video_gray        int     0
lumo/engine_version    string  M94.4606
lumo/hub_site          string  EU
lumo/dataven_firmcode  string  T-INFOLINK2021-1002
lumo/used_memory       string  212.4 MB
dekk/esn               bytes   4b 45 53 00 01 7a 00 00 9c 33 d1 00 42
cec/enable             int     1
power/vcc_fail_count   int     2
power/watchdog_count   int     0
bt/address             string  A4:30:7A:1C:55:E2
wifi/mac_address       string  A4:30:7A:1C:55:E3
