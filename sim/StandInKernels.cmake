# Writes the stand-in kernel files into OUT_DIR: the three modules the loader loads
# by name, and a micro-kernel for the boot-mode flow. They are not target code: each
# names the module it stands in for on its first line, which is what the virtual
# printer checks, and carries filler so that a load takes a realistic few kilobytes.
# Run as: cmake -DOUT_DIR=... -P StandInKernels.cmake
foreach(entry "Genm2329.cde|MAIN KERNEL|main kernel|96"
              "Gene2329.cde|EEPROM ERASE MODULE|EEPROM erase module|24"
              "Genw2329.cde|EEPROM WRITE MODULE|EEPROM write module|40"
              "uKernel2329.cde|MICRO KERNEL|micro-kernel|24")
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 file)
  list(GET fields 1 title)
  list(GET fields 2 what)
  list(GET fields 3 lines)
  set(text "ZERVIKO STAND-IN ${title} 2329\n")
  string(APPEND text "This file is not target code. It stands in for the printer maker's ${what}\n")
  string(APPEND text "so that the loader can be tried against the virtual printer\n")
  string(APPEND text "zerviko-target, which accepts only these stand-ins. A real printer needs the\n")
  string(APPEND text "maker's file put in its place.\n")
  foreach(i RANGE 1 ${lines})
    string(APPEND text "stand-in ${what} filler line ${i} 0123456789ABCDEF\n")
  endforeach()
  file(WRITE "${OUT_DIR}/${file}" "${text}")
endforeach()
