; The competitor of the install benchmark: an NSIS installer of the same payload, per-file zlib,
; installing every file and nothing else. Built by run.sh:
;   makensis -DPAYLOAD=DIR -DOUTFILE=FILE -DTARGET=x86-unicode|amd64-unicode bench.nsi
; and run silently:  installer.exe /S /D=C:\Target
Unicode true
Target "${TARGET}"
SetCompressor zlib
Name "Install Bench"
OutFile "${OUTFILE}"
InstallDir "C:\Target"
RequestExecutionLevel admin

Section
  SetOutPath "$INSTDIR"
  File /r "${PAYLOAD}/*"
SectionEnd
