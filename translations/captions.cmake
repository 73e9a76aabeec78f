# The words drawn into the pictures: the captions of the Back, Next, Exit and Program
# buttons, and the model names under the two printer pictures (129 ABC layout, 131
# Keyboard layout). Each pack carries its own copies of these pictures.
set(ZERVIKO_CAPTIONED_PICTURES
  BACKU BACKD BACKX NEXTU NEXTD NEXTX EXITU EXITD EXITX PROGRAMU PROGRAMD PROGRAMX 129 131)

set(ZERVIKO_CAPTIONS_fr
  "BACK=Précédent" "NEXT=Suivant" "EXIT=Quitter" "PROGRAM=Programmer"
  "129=Disposition ABC" "131=Disposition clavier")
set(ZERVIKO_CAPTIONS_de
  "BACK=Zurück" "NEXT=Weiter" "EXIT=Beenden" "PROGRAM=Programmieren"
  "129=ABC-Layout" "131=Tastatur-Layout")
set(ZERVIKO_CAPTIONS_pt
  "BACK=Voltar" "NEXT=Avançar" "EXIT=Sair" "PROGRAM=Programar"
  "129=Layout ABC" "131=Layout de teclado")
set(ZERVIKO_CAPTIONS_es
  "BACK=Atrás" "NEXT=Siguiente" "EXIT=Salir" "PROGRAM=Programar"
  "129=Distribución ABC" "131=Distribución de teclado")
