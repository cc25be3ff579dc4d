* A small-signal silicon diode model, included by diode_dc.nsx through a relative path
.model DSMALL D(IS=2.52n RS=0.568 N=1.752 CJO=4p M=0.4 TT=20n)
