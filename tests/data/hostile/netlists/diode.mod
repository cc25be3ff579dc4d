* A diode model, included by more than one file of a netlist.
.model dsmall d is=1e-14 n=1.05
