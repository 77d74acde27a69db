// The texts of the dialog word tables, one row per language; each row lists the 146
// captions in word order (the index stands after each). Every text is UTF-8.
#include "imaging/core/iewords_tables.h"

namespace ie {

namespace {

const char* const kEnglish[IEWordCount] = {
    "Preview",                                                                // 0
    "Original",                                                               // 1
    "Result",                                                                 // 2
    "OK",                                                                     // 3
    "Cancel",                                                                 // 4
    "Lock preview",                                                           // 5
    "Copy Result to Original",                                                // 6
    "Contrast",                                                               // 7
    "Brightness",                                                             // 8
    "Hue",                                                                    // 9
    "Saturation",                                                             // 10
    "Value",                                                                  // 11
    "Base color",                                                             // 12
    "New color",                                                              // 13
    "Luminosity",                                                             // 14
    "Red",                                                                    // 15
    "Green",                                                                  // 16
    "Blue",                                                                   // 17
    "Filter values",                                                          // 18
    "Presets",                                                                // 19
    "Divisor",                                                                // 20
    "Load",                                                                   // 21
    "Save",                                                                   // 22
    "Equalization",                                                           // 23
    "Threshold",                                                              // 24
    "Equalize",                                                               // 25
    "Histogram",                                                              // 26
    "Gray",                                                                   // 27
    "Light",                                                                  // 28
    "Left",                                                                   // 29
    "Top",                                                                    // 30
    "Width",                                                                  // 31
    "Height",                                                                 // 32
    "Color",                                                                  // 33
    "Original image quantity",                                                // 34
    "Lens",                                                                   // 35
    "Refraction",                                                             // 36
    "Parameters Preview",                                                     // 37
    "Quality",                                                                // 38
    "DCT method",                                                             // 39
    "Smoothing factor",                                                       // 40
    "Gray scale",                                                             // 41
    "Optimal Huffman",                                                        // 42
    "Original size",                                                          // 43
    "Compressed size",                                                        // 44
    "Advanced",                                                               // 45
    "Progressive",                                                            // 46
    "Compression",                                                            // 47
    "Image index",                                                            // 48
    "Photometric",                                                            // 49
    "Scanned document info",                                                  // 50
    "Name",                                                                   // 51
    "Description",                                                            // 52
    "Page name",                                                              // 53
    "Page number",                                                            // 54
    "of",                                                                     // 55
    "Horiz. Position (inch)",                                                 // 56
    "Vert. Position (inch)",                                                  // 57
    "Colors",                                                                 // 58
    "Transparent",                                                            // 59
    "Transparent color",                                                      // 60
    "Interlaced",                                                             // 61
    "Background",                                                             // 62
    "Horiz. Position",                                                        // 63
    "Vert. Position",                                                         // 64
    "Delay time",                                                             // 65
    "Filter",                                                                 // 66
    "Wave",                                                                   // 67
    "Amplitude",                                                              // 68
    "Wave length",                                                            // 69
    "Phase",                                                                  // 70
    "Reflective",                                                             // 71
    "User filter",                                                            // 72
    "Morphing filters",                                                       // 73
    "Window size",                                                            // 74
    "Maximum",                                                                // 75
    "Minimum",                                                                // 76
    "Opening",                                                                // 77
    "Closing",                                                                // 78
    "Rotate",                                                                 // 79
    "Flip",                                                                   // 80
    "Horizontal",                                                             // 81
    "Vertical",                                                               // 82
    "Frequency domain image",                                                 // 83
    "Select the region to clean",                                             // 84
    "Clear",                                                                  // 85
    "Reset",                                                                  // 86
    "Animate",                                                                // 87
    "Load filter",                                                            // 88
    "Save filter",                                                            // 89
    "Bump map",                                                               // 90
    "Print",                                                                  // 91
    "Margins",                                                                // 92
    "inches",                                                                 // 93
    "Right",                                                                  // 94
    "Bottom",                                                                 // 95
    "Position",                                                               // 96
    "Size",                                                                   // 97
    "Normal",                                                                 // 98
    "Fit to page",                                                            // 99
    "Stretch to page",                                                        // 100
    "Specified size",                                                         // 101
    "Gamma correction",                                                       // 102
    "Value",                                                                  // 103
    "Print Setup",                                                            // 104
    "Left Margin",                                                            // 105
    "Top Margin",                                                             // 106
    "Right Margin",                                                           // 107
    "Bottom Margin",                                                          // 108
    "Location/size",                                                          // 109
    "Top Left",                                                               // 110
    "Top Center",                                                             // 111
    "Top Right",                                                              // 112
    "Center Left",                                                            // 113
    "Center",                                                                 // 114
    "Center Right",                                                           // 115
    "Bottom Left",                                                            // 116
    "Bottom Center",                                                          // 117
    "Bottom Right",                                                           // 118
    "Close",                                                                  // 119
    "Apply",                                                                  // 120
    "Measure Units",                                                          // 121
    "Units",                                                                  // 122
    "Rate",                                                                   // 123
    "All graphics",                                                           // 124
    "Video for Windows",                                                      // 125
    "File",                                                                   // 126
    "Mem",                                                                    // 127
    "Automatically updates your preview with the changes you have selected",  // 128
    "Print All",                                                              // 129
    "Print Selected",                                                         // 130
    "Common Graphic Files",                                                   // 131
    "All Files",                                                              // 132
    "HSV",                                                                    // 133
    "HSL",                                                                    // 134
    "RGB",                                                                    // 135
    "FFT",                                                                    // 136
    "Sharpen",                                                                // 137
    "Channels",                                                               // 138
    "pixel",                                                                  // 139
    "frames",                                                                 // 140
    "bit",                                                                    // 141
    "byte",                                                                   // 142
    "dpi",                                                                    // 143
    "KB",                                                                     // 144
    "Fit",                                                                    // 145
};

// clang-format off
const char* const kItalian[IEWordCount] = {
    "Anteprima",  // 0
    "Originale",  // 1
    "Risultato",  // 2
    "OK",  // 3
    "Annulla",  // 4
    "Blocca anteprima",  // 5
    "Copia il risultato nell'originale",  // 6
    "Contrasto",  // 7
    "Luminosità",  // 8
    "Tonalità",  // 9
    "Saturazione",  // 10
    "Valore",  // 11
    "Colore di base",  // 12
    "Nuovo colore",  // 13
    "Luminanza",  // 14
    "Rosso",  // 15
    "Verde",  // 16
    "Blu",  // 17
    "Valori del filtro",  // 18
    "Predefiniti",  // 19
    "Divisore",  // 20
    "Carica",  // 21
    "Salva",  // 22
    "Equalizzazione",  // 23
    "Soglia",  // 24
    "Equalizza",  // 25
    "Istogramma",  // 26
    "Grigio",  // 27
    "Luce",  // 28
    "Sinistra",  // 29
    "Alto",  // 30
    "Larghezza",  // 31
    "Altezza",  // 32
    "Colore",  // 33
    "Quantità immagine originale",  // 34
    "Lente",  // 35
    "Rifrazione",  // 36
    "Anteprima parametri",  // 37
    "Qualità",  // 38
    "Metodo DCT",  // 39
    "Fattore di smussatura",  // 40
    "Scala di grigi",  // 41
    "Huffman ottimale",  // 42
    "Dimensione originale",  // 43
    "Dimensione compressa",  // 44
    "Avanzate",  // 45
    "Progressivo",  // 46
    "Compressione",  // 47
    "Indice immagine",  // 48
    "Fotometria",  // 49
    "Informazioni documento acquisito",  // 50
    "Nome",  // 51
    "Descrizione",  // 52
    "Nome pagina",  // 53
    "Numero pagina",  // 54
    "di",  // 55
    "Posizione orizz. (pollici)",  // 56
    "Posizione vert. (pollici)",  // 57
    "Colori",  // 58
    "Trasparente",  // 59
    "Colore trasparente",  // 60
    "Interlacciato",  // 61
    "Sfondo",  // 62
    "Posizione orizz.",  // 63
    "Posizione vert.",  // 64
    "Tempo di ritardo",  // 65
    "Filtro",  // 66
    "Onda",  // 67
    "Ampiezza",  // 68
    "Lunghezza d'onda",  // 69
    "Fase",  // 70
    "Riflettente",  // 71
    "Filtro utente",  // 72
    "Filtri morfologici",  // 73
    "Dimensione finestra",  // 74
    "Massimo",  // 75
    "Minimo",  // 76
    "Apertura",  // 77
    "Chiusura",  // 78
    "Ruota",  // 79
    "Capovolgi",  // 80
    "Orizzontale",  // 81
    "Verticale",  // 82
    "Immagine nel dominio della frequenza",  // 83
    "Seleziona l'area da pulire",  // 84
    "Cancella",  // 85
    "Ripristina",  // 86
    "Anima",  // 87
    "Carica filtro",  // 88
    "Salva filtro",  // 89
    "Mappa di rilievo",  // 90
    "Stampa",  // 91
    "Margini",  // 92
    "pollici",  // 93
    "Destra",  // 94
    "Basso",  // 95
    "Posizione",  // 96
    "Dimensione",  // 97
    "Normale",  // 98
    "Adatta alla pagina",  // 99
    "Estendi alla pagina",  // 100
    "Dimensione specificata",  // 101
    "Correzione gamma",  // 102
    "Valore",  // 103
    "Imposta stampa",  // 104
    "Margine sinistro",  // 105
    "Margine superiore",  // 106
    "Margine destro",  // 107
    "Margine inferiore",  // 108
    "Posizione/dimensione",  // 109
    "In alto a sinistra",  // 110
    "In alto al centro",  // 111
    "In alto a destra",  // 112
    "Al centro a sinistra",  // 113
    "Centro",  // 114
    "Al centro a destra",  // 115
    "In basso a sinistra",  // 116
    "In basso al centro",  // 117
    "In basso a destra",  // 118
    "Chiudi",  // 119
    "Applica",  // 120
    "Unità di misura",  // 121
    "Unità",  // 122
    "Tasso",  // 123
    "Tutte le immagini",  // 124
    "Video per Windows",  // 125
    "File",  // 126
    "Mem",  // 127
    "Aggiorna automaticamente l'anteprima con le modifiche selezionate",  // 128
    "Stampa tutto",  // 129
    "Stampa selezione",  // 130
    "File grafici comuni",  // 131
    "Tutti i file",  // 132
    "HSV",  // 133
    "HSL",  // 134
    "RGB",  // 135
    "FFT",  // 136
    "Nitidezza",  // 137
    "Canali",  // 138
    "pixel",  // 139
    "fotogrammi",  // 140
    "bit",  // 141
    "byte",  // 142
    "dpi",  // 143
    "KB",  // 144
    "Adatta",  // 145
};
// clang-format on

// clang-format off
const char* const kGerman[IEWordCount] = {
    "Vorschau",  // 0
    "Original",  // 1
    "Ergebnis",  // 2
    "OK",  // 3
    "Abbrechen",  // 4
    "Vorschau sperren",  // 5
    "Ergebnis ins Original kopieren",  // 6
    "Kontrast",  // 7
    "Helligkeit",  // 8
    "Farbton",  // 9
    "Sättigung",  // 10
    "Wert",  // 11
    "Grundfarbe",  // 12
    "Neue Farbe",  // 13
    "Leuchtkraft",  // 14
    "Rot",  // 15
    "Grün",  // 16
    "Blau",  // 17
    "Filterwerte",  // 18
    "Vorgaben",  // 19
    "Divisor",  // 20
    "Laden",  // 21
    "Speichern",  // 22
    "Ausgleich",  // 23
    "Schwellenwert",  // 24
    "Ausgleichen",  // 25
    "Histogramm",  // 26
    "Grau",  // 27
    "Licht",  // 28
    "Links",  // 29
    "Oben",  // 30
    "Breite",  // 31
    "Höhe",  // 32
    "Farbe",  // 33
    "Anteil des Originalbildes",  // 34
    "Linse",  // 35
    "Brechung",  // 36
    "Parameter-Vorschau",  // 37
    "Qualität",  // 38
    "DCT-Methode",  // 39
    "Glättungsfaktor",  // 40
    "Graustufen",  // 41
    "Optimaler Huffman",  // 42
    "Originalgröße",  // 43
    "Komprimierte Größe",  // 44
    "Erweitert",  // 45
    "Progressiv",  // 46
    "Komprimierung",  // 47
    "Bildindex",  // 48
    "Photometrie",  // 49
    "Info zum gescannten Dokument",  // 50
    "Name",  // 51
    "Beschreibung",  // 52
    "Seitenname",  // 53
    "Seitennummer",  // 54
    "von",  // 55
    "Horiz. Position (Zoll)",  // 56
    "Vert. Position (Zoll)",  // 57
    "Farben",  // 58
    "Transparent",  // 59
    "Transparente Farbe",  // 60
    "Zeilensprung",  // 61
    "Hintergrund",  // 62
    "Horiz. Position",  // 63
    "Vert. Position",  // 64
    "Verzögerungszeit",  // 65
    "Filter",  // 66
    "Welle",  // 67
    "Amplitude",  // 68
    "Wellenlänge",  // 69
    "Phase",  // 70
    "Reflektierend",  // 71
    "Benutzerfilter",  // 72
    "Morphologische Filter",  // 73
    "Fenstergröße",  // 74
    "Maximum",  // 75
    "Minimum",  // 76
    "Öffnen",  // 77
    "Schließen",  // 78
    "Drehen",  // 79
    "Spiegeln",  // 80
    "Horizontal",  // 81
    "Vertikal",  // 82
    "Bild im Frequenzbereich",  // 83
    "Zu bereinigenden Bereich auswählen",  // 84
    "Löschen",  // 85
    "Zurücksetzen",  // 86
    "Animieren",  // 87
    "Filter laden",  // 88
    "Filter speichern",  // 89
    "Bump-Map",  // 90
    "Drucken",  // 91
    "Ränder",  // 92
    "Zoll",  // 93
    "Rechts",  // 94
    "Unten",  // 95
    "Position",  // 96
    "Größe",  // 97
    "Normal",  // 98
    "An Seite anpassen",  // 99
    "Auf Seite strecken",  // 100
    "Angegebene Größe",  // 101
    "Gammakorrektur",  // 102
    "Wert",  // 103
    "Druckeinrichtung",  // 104
    "Linker Rand",  // 105
    "Oberer Rand",  // 106
    "Rechter Rand",  // 107
    "Unterer Rand",  // 108
    "Position/Größe",  // 109
    "Oben links",  // 110
    "Oben Mitte",  // 111
    "Oben rechts",  // 112
    "Mitte links",  // 113
    "Mitte",  // 114
    "Mitte rechts",  // 115
    "Unten links",  // 116
    "Unten Mitte",  // 117
    "Unten rechts",  // 118
    "Schließen",  // 119
    "Übernehmen",  // 120
    "Maßeinheiten",  // 121
    "Einheiten",  // 122
    "Rate",  // 123
    "Alle Grafiken",  // 124
    "Video für Windows",  // 125
    "Datei",  // 126
    "Speicher",  // 127
    "Aktualisiert die Vorschau automatisch mit den gewählten Änderungen",  // 128
    "Alle drucken",  // 129
    "Auswahl drucken",  // 130
    "Gängige Grafikdateien",  // 131
    "Alle Dateien",  // 132
    "HSV",  // 133
    "HSL",  // 134
    "RGB",  // 135
    "FFT",  // 136
    "Schärfen",  // 137
    "Kanäle",  // 138
    "Pixel",  // 139
    "Bilder",  // 140
    "Bit",  // 141
    "Byte",  // 142
    "dpi",  // 143
    "KB",  // 144
    "Einpassen",  // 145
};
// clang-format on

// clang-format off
const char* const kSpanish[IEWordCount] = {
    "Vista Previa",  // 0
    "Original",  // 1
    "Resultado",  // 2
    "Aceptar",  // 3
    "Cancelar",  // 4
    "Bloquear vista previa",  // 5
    "Copiar resultado al original",  // 6
    "Contraste",  // 7
    "Brillo",  // 8
    "Tono",  // 9
    "Saturación",  // 10
    "Valor",  // 11
    "Color base",  // 12
    "Color nuevo",  // 13
    "Luminosidad",  // 14
    "Rojo",  // 15
    "Verde",  // 16
    "Azul",  // 17
    "Valores del filtro",  // 18
    "Preajustes",  // 19
    "Divisor",  // 20
    "Cargar",  // 21
    "Guardar",  // 22
    "Ecualización",  // 23
    "Umbral",  // 24
    "Ecualizar",  // 25
    "Histograma",  // 26
    "Gris",  // 27
    "Luz",  // 28
    "Izquierda",  // 29
    "Arriba",  // 30
    "Ancho",  // 31
    "Alto",  // 32
    "Color",  // 33
    "Cantidad de imagen original",  // 34
    "Lente",  // 35
    "Refracción",  // 36
    "Vista previa de parámetros",  // 37
    "Calidad",  // 38
    "Método DCT",  // 39
    "Factor de suavizado",  // 40
    "Escala de grises",  // 41
    "Huffman óptimo",  // 42
    "Tamaño original",  // 43
    "Tamaño comprimido",  // 44
    "Avanzado",  // 45
    "Progresivo",  // 46
    "Compresión",  // 47
    "Índice de imagen",  // 48
    "Fotométrica",  // 49
    "Información del documento escaneado",  // 50
    "Nombre",  // 51
    "Descripción",  // 52
    "Nombre de página",  // 53
    "Número de página",  // 54
    "de",  // 55
    "Posición horiz. (pulgadas)",  // 56
    "Posición vert. (pulgadas)",  // 57
    "Colores",  // 58
    "Transparente",  // 59
    "Color transparente",  // 60
    "Entrelazado",  // 61
    "Fondo",  // 62
    "Posición horiz.",  // 63
    "Posición vert.",  // 64
    "Tiempo de retardo",  // 65
    "Filtro",  // 66
    "Onda",  // 67
    "Amplitud",  // 68
    "Longitud de onda",  // 69
    "Fase",  // 70
    "Reflectante",  // 71
    "Filtro de usuario",  // 72
    "Filtros morfológicos",  // 73
    "Tamaño de ventana",  // 74
    "Máximo",  // 75
    "Mínimo",  // 76
    "Apertura",  // 77
    "Cierre",  // 78
    "Girar",  // 79
    "Voltear",  // 80
    "Horizontal",  // 81
    "Vertical",  // 82
    "Imagen en el dominio de la frecuencia",  // 83
    "Seleccione la región a limpiar",  // 84
    "Borrar",  // 85
    "Restablecer",  // 86
    "Animar",  // 87
    "Cargar filtro",  // 88
    "Guardar filtro",  // 89
    "Mapa de relieve",  // 90
    "Imprimir",  // 91
    "Márgenes",  // 92
    "pulgadas",  // 93
    "Derecha",  // 94
    "Abajo",  // 95
    "Posición",  // 96
    "Tamaño",  // 97
    "Normal",  // 98
    "Ajustar a la página",  // 99
    "Estirar a la página",  // 100
    "Tamaño especificado",  // 101
    "Corrección gamma",  // 102
    "Valor",  // 103
    "Configurar impresión",  // 104
    "Margen izquierdo",  // 105
    "Margen superior",  // 106
    "Margen derecho",  // 107
    "Margen inferior",  // 108
    "Ubicación/tamaño",  // 109
    "Arriba a la izquierda",  // 110
    "Arriba al centro",  // 111
    "Arriba a la derecha",  // 112
    "Centro a la izquierda",  // 113
    "Centro",  // 114
    "Centro a la derecha",  // 115
    "Abajo a la izquierda",  // 116
    "Abajo al centro",  // 117
    "Abajo a la derecha",  // 118
    "Cerrar",  // 119
    "Aplicar",  // 120
    "Unidades de medida",  // 121
    "Unidades",  // 122
    "Tasa",  // 123
    "Todos los gráficos",  // 124
    "Vídeo para Windows",  // 125
    "Archivo",  // 126
    "Mem",  // 127
    "Actualiza automáticamente la vista previa con los cambios seleccionados",  // 128
    "Imprimir todo",  // 129
    "Imprimir selección",  // 130
    "Archivos gráficos comunes",  // 131
    "Todos los archivos",  // 132
    "HSV",  // 133
    "HSL",  // 134
    "RGB",  // 135
    "FFT",  // 136
    "Enfocar",  // 137
    "Canales",  // 138
    "píxel",  // 139
    "fotogramas",  // 140
    "bit",  // 141
    "byte",  // 142
    "dpi",  // 143
    "KB",  // 144
    "Ajustar",  // 145
};
// clang-format on

// clang-format off
const char* const kFrench[IEWordCount] = {
    "Prévisualisation",  // 0
    "Original",  // 1
    "Résultat",  // 2
    "OK",  // 3
    "Annuler",  // 4
    "Verrouiller l'aperçu",  // 5
    "Copier le résultat dans l'original",  // 6
    "Contraste",  // 7
    "Luminosité",  // 8
    "Teinte",  // 9
    "Saturation",  // 10
    "Valeur",  // 11
    "Couleur de base",  // 12
    "Nouvelle couleur",  // 13
    "Luminance",  // 14
    "Rouge",  // 15
    "Vert",  // 16
    "Bleu",  // 17
    "Valeurs du filtre",  // 18
    "Préréglages",  // 19
    "Diviseur",  // 20
    "Charger",  // 21
    "Enregistrer",  // 22
    "Égalisation",  // 23
    "Seuil",  // 24
    "Égaliser",  // 25
    "Histogramme",  // 26
    "Gris",  // 27
    "Lumière",  // 28
    "Gauche",  // 29
    "Haut",  // 30
    "Largeur",  // 31
    "Hauteur",  // 32
    "Couleur",  // 33
    "Quantité d'image originale",  // 34
    "Lentille",  // 35
    "Réfraction",  // 36
    "Aperçu des paramètres",  // 37
    "Qualité",  // 38
    "Méthode DCT",  // 39
    "Facteur de lissage",  // 40
    "Niveaux de gris",  // 41
    "Huffman optimal",  // 42
    "Taille d'origine",  // 43
    "Taille compressée",  // 44
    "Avancé",  // 45
    "Progressif",  // 46
    "Compression",  // 47
    "Index de l'image",  // 48
    "Photométrie",  // 49
    "Infos sur le document numérisé",  // 50
    "Nom",  // 51
    "Description",  // 52
    "Nom de la page",  // 53
    "Numéro de page",  // 54
    "sur",  // 55
    "Position horiz. (pouces)",  // 56
    "Position vert. (pouces)",  // 57
    "Couleurs",  // 58
    "Transparent",  // 59
    "Couleur transparente",  // 60
    "Entrelacé",  // 61
    "Arrière-plan",  // 62
    "Position horiz.",  // 63
    "Position vert.",  // 64
    "Délai",  // 65
    "Filtre",  // 66
    "Onde",  // 67
    "Amplitude",  // 68
    "Longueur d'onde",  // 69
    "Phase",  // 70
    "Réfléchissant",  // 71
    "Filtre utilisateur",  // 72
    "Filtres morphologiques",  // 73
    "Taille de la fenêtre",  // 74
    "Maximum",  // 75
    "Minimum",  // 76
    "Ouverture",  // 77
    "Fermeture",  // 78
    "Rotation",  // 79
    "Retourner",  // 80
    "Horizontal",  // 81
    "Vertical",  // 82
    "Image dans le domaine fréquentiel",  // 83
    "Sélectionnez la zone à nettoyer",  // 84
    "Effacer",  // 85
    "Réinitialiser",  // 86
    "Animer",  // 87
    "Charger un filtre",  // 88
    "Enregistrer le filtre",  // 89
    "Placage de relief",  // 90
    "Imprimer",  // 91
    "Marges",  // 92
    "pouces",  // 93
    "Droite",  // 94
    "Bas",  // 95
    "Position",  // 96
    "Taille",  // 97
    "Normal",  // 98
    "Ajuster à la page",  // 99
    "Étirer sur la page",  // 100
    "Taille spécifiée",  // 101
    "Correction gamma",  // 102
    "Valeur",  // 103
    "Configuration de l'impression",  // 104
    "Marge gauche",  // 105
    "Marge haute",  // 106
    "Marge droite",  // 107
    "Marge basse",  // 108
    "Emplacement/taille",  // 109
    "En haut à gauche",  // 110
    "En haut au centre",  // 111
    "En haut à droite",  // 112
    "Au centre à gauche",  // 113
    "Centre",  // 114
    "Au centre à droite",  // 115
    "En bas à gauche",  // 116
    "En bas au centre",  // 117
    "En bas à droite",  // 118
    "Fermer",  // 119
    "Appliquer",  // 120
    "Unités de mesure",  // 121
    "Unités",  // 122
    "Taux",  // 123
    "Tous les graphiques",  // 124
    "Vidéo pour Windows",  // 125
    "Fichier",  // 126
    "Mém",  // 127
    "Met automatiquement à jour l'aperçu avec les modifications sélectionnées",  // 128
    "Tout imprimer",  // 129
    "Imprimer la sélection",  // 130
    "Fichiers graphiques courants",  // 131
    "Tous les fichiers",  // 132
    "HSV",  // 133
    "HSL",  // 134
    "RGB",  // 135
    "FFT",  // 136
    "Netteté",  // 137
    "Canaux",  // 138
    "pixel",  // 139
    "images",  // 140
    "bit",  // 141
    "octet",  // 142
    "dpi",  // 143
    "Ko",  // 144
    "Ajuster",  // 145
};
// clang-format on

// clang-format off
const char* const kPortuguese[IEWordCount] = {
    "Visualizar",  // 0
    "Original",  // 1
    "Resultado",  // 2
    "OK",  // 3
    "Cancelar",  // 4
    "Bloquear visualização",  // 5
    "Copiar resultado para o original",  // 6
    "Contraste",  // 7
    "Brilho",  // 8
    "Matiz",  // 9
    "Saturação",  // 10
    "Valor",  // 11
    "Cor base",  // 12
    "Nova cor",  // 13
    "Luminosidade",  // 14
    "Vermelho",  // 15
    "Verde",  // 16
    "Azul",  // 17
    "Valores do filtro",  // 18
    "Predefinições",  // 19
    "Divisor",  // 20
    "Carregar",  // 21
    "Salvar",  // 22
    "Equalização",  // 23
    "Limiar",  // 24
    "Equalizar",  // 25
    "Histograma",  // 26
    "Cinza",  // 27
    "Luz",  // 28
    "Esquerda",  // 29
    "Topo",  // 30
    "Largura",  // 31
    "Altura",  // 32
    "Cor",  // 33
    "Quantidade da imagem original",  // 34
    "Lente",  // 35
    "Refração",  // 36
    "Visualização dos parâmetros",  // 37
    "Qualidade",  // 38
    "Método DCT",  // 39
    "Fator de suavização",  // 40
    "Escala de cinza",  // 41
    "Huffman otimizado",  // 42
    "Tamanho original",  // 43
    "Tamanho comprimido",  // 44
    "Avançado",  // 45
    "Progressivo",  // 46
    "Compressão",  // 47
    "Índice da imagem",  // 48
    "Fotométrica",  // 49
    "Informações do documento digitalizado",  // 50
    "Nome",  // 51
    "Descrição",  // 52
    "Nome da página",  // 53
    "Número da página",  // 54
    "de",  // 55
    "Posição horiz. (polegadas)",  // 56
    "Posição vert. (polegadas)",  // 57
    "Cores",  // 58
    "Transparente",  // 59
    "Cor transparente",  // 60
    "Entrelaçado",  // 61
    "Fundo",  // 62
    "Posição horiz.",  // 63
    "Posição vert.",  // 64
    "Tempo de atraso",  // 65
    "Filtro",  // 66
    "Onda",  // 67
    "Amplitude",  // 68
    "Comprimento de onda",  // 69
    "Fase",  // 70
    "Reflexivo",  // 71
    "Filtro do usuário",  // 72
    "Filtros morfológicos",  // 73
    "Tamanho da janela",  // 74
    "Máximo",  // 75
    "Mínimo",  // 76
    "Abertura",  // 77
    "Fechamento",  // 78
    "Girar",  // 79
    "Inverter",  // 80
    "Horizontal",  // 81
    "Vertical",  // 82
    "Imagem no domínio da frequência",  // 83
    "Selecione a região a limpar",  // 84
    "Limpar",  // 85
    "Redefinir",  // 86
    "Animar",  // 87
    "Carregar filtro",  // 88
    "Salvar filtro",  // 89
    "Mapa de relevo",  // 90
    "Imprimir",  // 91
    "Margens",  // 92
    "polegadas",  // 93
    "Direita",  // 94
    "Inferior",  // 95
    "Posição",  // 96
    "Tamanho",  // 97
    "Normal",  // 98
    "Ajustar à página",  // 99
    "Esticar na página",  // 100
    "Tamanho especificado",  // 101
    "Correção de gama",  // 102
    "Valor",  // 103
    "Configurar impressão",  // 104
    "Margem esquerda",  // 105
    "Margem superior",  // 106
    "Margem direita",  // 107
    "Margem inferior",  // 108
    "Local/tamanho",  // 109
    "Superior esquerdo",  // 110
    "Superior centro",  // 111
    "Superior direito",  // 112
    "Centro esquerdo",  // 113
    "Centro",  // 114
    "Centro direito",  // 115
    "Inferior esquerdo",  // 116
    "Inferior centro",  // 117
    "Inferior direito",  // 118
    "Fechar",  // 119
    "Aplicar",  // 120
    "Unidades de medida",  // 121
    "Unidades",  // 122
    "Taxa",  // 123
    "Todas as imagens",  // 124
    "Vídeo para Windows",  // 125
    "Arquivo",  // 126
    "Mem",  // 127
    "Atualiza automaticamente a visualização com as alterações selecionadas",  // 128
    "Imprimir tudo",  // 129
    "Imprimir seleção",  // 130
    "Arquivos gráficos comuns",  // 131
    "Todos os arquivos",  // 132
    "HSV",  // 133
    "HSL",  // 134
    "RGB",  // 135
    "FFT",  // 136
    "Nitidez",  // 137
    "Canais",  // 138
    "pixel",  // 139
    "quadros",  // 140
    "bit",  // 141
    "byte",  // 142
    "dpi",  // 143
    "KB",  // 144
    "Fit",  // 145
};
// clang-format on

const char* const kGreek[IEWordCount] = {
    "Προεπισκόπηση",                                                       // 0
    "Πρωτότυπο",                                                           // 1
    "Αποτέλεσμα",                                                          // 2
    "OK",                                                                  // 3
    "Άκυρο",                                                               // 4
    "Κλείδωμα προεπισκόπησης",                                             // 5
    "Αντιγραφή αποτελέσματος στο πρωτότυπο",                               // 6
    "Αντίθεση",                                                            // 7
    "Φωτεινότητα",                                                         // 8
    "Απόχρωση",                                                            // 9
    "Κορεσμός",                                                            // 10
    "Τιμή",                                                                // 11
    "Βασικό χρώμα",                                                        // 12
    "Νέο χρώμα",                                                           // 13
    "Λαμπρότητα",                                                          // 14
    "Κόκκινο",                                                             // 15
    "Πράσινο",                                                             // 16
    "Μπλε",                                                                // 17
    "Τιμές φίλτρου",                                                       // 18
    "Προεπιλογές",                                                         // 19
    "Διαιρέτης",                                                           // 20
    "Φόρτωση",                                                             // 21
    "Αποθήκευση",                                                          // 22
    "Εξισορρόπηση",                                                        // 23
    "Κατώφλι",                                                             // 24
    "Εξίσωση",                                                             // 25
    "Ιστόγραμμα",                                                          // 26
    "Γκρι",                                                                // 27
    "Φως",                                                                 // 28
    "Αριστερά",                                                            // 29
    "Πάνω",                                                                // 30
    "Πλάτος",                                                              // 31
    "Ύψος",                                                                // 32
    "Χρώμα",                                                               // 33
    "Ποσότητα αρχικής εικόνας",                                            // 34
    "Φακός",                                                               // 35
    "Διάθλαση",                                                            // 36
    "Προεπισκόπηση παραμέτρων",                                            // 37
    "Ποιότητα",                                                            // 38
    "Μέθοδος DCT",                                                         // 39
    "Συντελεστής εξομάλυνσης",                                             // 40
    "Κλίμακα του γκρι",                                                    // 41
    "Βέλτιστος Huffman",                                                   // 42
    "Αρχικό μέγεθος",                                                      // 43
    "Συμπιεσμένο μέγεθος",                                                 // 44
    "Για προχωρημένους",                                                   // 45
    "Προοδευτική",                                                         // 46
    "Συμπίεση",                                                            // 47
    "Δείκτης εικόνας",                                                     // 48
    "Φωτομετρική",                                                         // 49
    "Πληροφορίες σαρωμένου εγγράφου",                                      // 50
    "Όνομα",                                                               // 51
    "Περιγραφή",                                                           // 52
    "Όνομα σελίδας",                                                       // 53
    "Αριθμός σελίδας",                                                     // 54
    "από",                                                                 // 55
    "Οριζ. θέση (ίντσες)",                                                 // 56
    "Κατακ. θέση (ίντσες)",                                                // 57
    "Χρώματα",                                                             // 58
    "Διαφανές",                                                            // 59
    "Διαφανές χρώμα",                                                      // 60
    "Πεπλεγμένο",                                                          // 61
    "Φόντο",                                                               // 62
    "Οριζ. θέση",                                                          // 63
    "Κατακ. θέση",                                                         // 64
    "Χρόνος καθυστέρησης",                                                 // 65
    "Φίλτρο",                                                              // 66
    "Κύμα",                                                                // 67
    "Πλάτος ταλάντωσης",                                                   // 68
    "Μήκος κύματος",                                                       // 69
    "Φάση",                                                                // 70
    "Ανακλαστικό",                                                         // 71
    "Φίλτρο χρήστη",                                                       // 72
    "Μορφολογικά φίλτρα",                                                  // 73
    "Μέγεθος παραθύρου",                                                   // 74
    "Μέγιστο",                                                             // 75
    "Ελάχιστο",                                                            // 76
    "Άνοιγμα",                                                             // 77
    "Κλείσιμο",                                                            // 78
    "Περιστροφή",                                                          // 79
    "Αναστροφή",                                                           // 80
    "Οριζόντια",                                                           // 81
    "Κατακόρυφα",                                                          // 82
    "Εικόνα στο πεδίο συχνοτήτων",                                         // 83
    "Επιλέξτε την περιοχή προς καθαρισμό",                                 // 84
    "Καθαρισμός",                                                          // 85
    "Επαναφορά",                                                           // 86
    "Κίνηση",                                                              // 87
    "Φόρτωση φίλτρου",                                                     // 88
    "Αποθήκευση φίλτρου",                                                  // 89
    "Χάρτης ανάγλυφου",                                                    // 90
    "Εκτύπωση",                                                            // 91
    "Περιθώρια",                                                           // 92
    "ίντσες",                                                              // 93
    "Δεξιά",                                                               // 94
    "Κάτω",                                                                // 95
    "Θέση",                                                                // 96
    "Μέγεθος",                                                             // 97
    "Κανονικό",                                                            // 98
    "Προσαρμογή στη σελίδα",                                               // 99
    "Επέκταση στη σελίδα",                                                 // 100
    "Καθορισμένο μέγεθος",                                                 // 101
    "Διόρθωση γάμμα",                                                      // 102
    "Τιμή",                                                                // 103
    "Ρύθμιση εκτύπωσης",                                                   // 104
    "Αριστερό περιθώριο",                                                  // 105
    "Επάνω περιθώριο",                                                     // 106
    "Δεξί περιθώριο",                                                      // 107
    "Κάτω περιθώριο",                                                      // 108
    "Θέση/μέγεθος",                                                        // 109
    "Πάνω αριστερά",                                                       // 110
    "Πάνω στο κέντρο",                                                     // 111
    "Πάνω δεξιά",                                                          // 112
    "Κέντρο αριστερά",                                                     // 113
    "Κέντρο",                                                              // 114
    "Κέντρο δεξιά",                                                        // 115
    "Κάτω αριστερά",                                                       // 116
    "Κάτω στο κέντρο",                                                     // 117
    "Κάτω δεξιά",                                                          // 118
    "Κλείσιμο",                                                            // 119
    "Εφαρμογή",                                                            // 120
    "Μονάδες μέτρησης",                                                    // 121
    "Μονάδες",                                                             // 122
    "Ρυθμός",                                                              // 123
    "Όλα τα γραφικά",                                                      // 124
    "Video for Windows",                                                   // 125
    "Αρχείο",                                                              // 126
    "Μνήμη",                                                               // 127
    "Ενημερώνει αυτόματα την προεπισκόπηση με τις αλλαγές που επιλέξατε",  // 128
    "Εκτύπωση όλων",                                                       // 129
    "Εκτύπωση επιλεγμένων",                                                // 130
    "Κοινά αρχεία γραφικών",                                               // 131
    "Όλα τα αρχεία",                                                       // 132
    "HSV",                                                                 // 133
    "HSL",                                                                 // 134
    "RGB",                                                                 // 135
    "FFT",                                                                 // 136
    "Όξυνση",                                                              // 137
    "Κανάλια",                                                             // 138
    "pixel",                                                               // 139
    "καρέ",                                                                // 140
    "bit",                                                                 // 141
    "byte",                                                                // 142
    "dpi",                                                                 // 143
    "KB",                                                                  // 144
    "Fit",                                                                 // 145
};

const char* const kRussian[IEWordCount] = {
    "Просмотр",                                                   // 0
    "Оригинал",                                                   // 1
    "Результат",                                                  // 2
    "OK",                                                         // 3
    "Отмена",                                                     // 4
    "Зафиксировать просмотр",                                     // 5
    "Копировать результат в оригинал",                            // 6
    "Контраст",                                                   // 7
    "Яркость",                                                    // 8
    "Оттенок",                                                    // 9
    "Насыщенность",                                               // 10
    "Значение",                                                   // 11
    "Основной цвет",                                              // 12
    "Новый цвет",                                                 // 13
    "Светимость",                                                 // 14
    "Красный",                                                    // 15
    "Зелёный",                                                    // 16
    "Синий",                                                      // 17
    "Значения фильтра",                                           // 18
    "Наборы",                                                     // 19
    "Делитель",                                                   // 20
    "Загрузить",                                                  // 21
    "Сохранить",                                                  // 22
    "Выравнивание",                                               // 23
    "Порог",                                                      // 24
    "Выровнять",                                                  // 25
    "Гистограмма",                                                // 26
    "Серый",                                                      // 27
    "Свет",                                                       // 28
    "Слева",                                                      // 29
    "Сверху",                                                     // 30
    "Ширина",                                                     // 31
    "Высота",                                                     // 32
    "Цвет",                                                       // 33
    "Доля исходного изображения",                                 // 34
    "Линза",                                                      // 35
    "Преломление",                                                // 36
    "Настройка параметров",                                       // 37
    "Качество",                                                   // 38
    "Метод DCT",                                                  // 39
    "Коэффициент сглаживания",                                    // 40
    "Оттенки серого",                                             // 41
    "Оптимальный Хаффман",                                        // 42
    "Исходный размер",                                            // 43
    "Размер после сжатия",                                        // 44
    "Дополнительно",                                              // 45
    "Прогрессивный",                                              // 46
    "Сжатие",                                                     // 47
    "Номер изображения",                                          // 48
    "Фотометрия",                                                 // 49
    "Сведения о сканированном документе",                         // 50
    "Имя",                                                        // 51
    "Описание",                                                   // 52
    "Имя страницы",                                               // 53
    "Номер страницы",                                             // 54
    "из",                                                         // 55
    "Гориз. позиция (дюймы)",                                     // 56
    "Верт. позиция (дюймы)",                                      // 57
    "Цвета",                                                      // 58
    "Прозрачный",                                                 // 59
    "Прозрачный цвет",                                            // 60
    "Чересстрочный",                                              // 61
    "Фон",                                                        // 62
    "Гориз. позиция",                                             // 63
    "Верт. позиция",                                              // 64
    "Время задержки",                                             // 65
    "Фильтр",                                                     // 66
    "Волна",                                                      // 67
    "Амплитуда",                                                  // 68
    "Длина волны",                                                // 69
    "Фаза",                                                       // 70
    "Отражение",                                                  // 71
    "Пользовательский фильтр",                                    // 72
    "Морфологические фильтры",                                    // 73
    "Размер окна",                                                // 74
    "Максимум",                                                   // 75
    "Минимум",                                                    // 76
    "Размыкание",                                                 // 77
    "Замыкание",                                                  // 78
    "Повернуть",                                                  // 79
    "Отразить",                                                   // 80
    "По горизонтали",                                             // 81
    "По вертикали",                                               // 82
    "Изображение в частотной области",                            // 83
    "Выделите область для очистки",                               // 84
    "Очистить",                                                   // 85
    "Сбросить",                                                   // 86
    "Анимировать",                                                // 87
    "Загрузить фильтр",                                           // 88
    "Сохранить фильтр",                                           // 89
    "Карта рельефа",                                              // 90
    "Печать",                                                     // 91
    "Поля",                                                       // 92
    "дюймы",                                                      // 93
    "Справа",                                                     // 94
    "Снизу",                                                      // 95
    "Положение",                                                  // 96
    "Размер",                                                     // 97
    "Обычный",                                                    // 98
    "По размеру страницы",                                        // 99
    "Растянуть на страницу",                                      // 100
    "Заданный размер",                                            // 101
    "Гамма-коррекция",                                            // 102
    "Значение",                                                   // 103
    "Параметры печати",                                           // 104
    "Левое поле",                                                 // 105
    "Верхнее поле",                                               // 106
    "Правое поле",                                                // 107
    "Нижнее поле",                                                // 108
    "Положение/размер",                                           // 109
    "Вверху слева",                                               // 110
    "Вверху по центру",                                           // 111
    "Вверху справа",                                              // 112
    "В центре слева",                                             // 113
    "По центру",                                                  // 114
    "В центре справа",                                            // 115
    "Внизу слева",                                                // 116
    "Внизу по центру",                                            // 117
    "Внизу справа",                                               // 118
    "Закрыть",                                                    // 119
    "Применить",                                                  // 120
    "Единицы измерения",                                          // 121
    "Единицы",                                                    // 122
    "Степень сжатия",                                             // 123
    "Все изображения",                                            // 124
    "Video for Windows",                                          // 125
    "Файл",                                                       // 126
    "Память",                                                     // 127
    "Автоматически обновляет просмотр с выбранными изменениями",  // 128
    "Печатать все",                                               // 129
    "Печатать выделенное",                                        // 130
    "Распространённые графические файлы",                         // 131
    "Все файлы",                                                  // 132
    "HSV",                                                        // 133
    "HSL",                                                        // 134
    "RGB",                                                        // 135
    "FFT",                                                        // 136
    "Резкость",                                                   // 137
    "Каналы",                                                     // 138
    "пиксель",                                                    // 139
    "кадры",                                                      // 140
    "бит",                                                        // 141
    "байт",                                                       // 142
    "dpi",                                                        // 143
    "КБ",                                                         // 144
    "Вписать",                                                    // 145
};

// clang-format off
const char* const kDutch[IEWordCount] = {
    "Voorbeeld",  // 0
    "Origineel",  // 1
    "Resultaat",  // 2
    "OK",  // 3
    "Annuleren",  // 4
    "Voorbeeld vergrendelen",  // 5
    "Resultaat naar origineel kopiëren",  // 6
    "Contrast",  // 7
    "Helderheid",  // 8
    "Tint",  // 9
    "Verzadiging",  // 10
    "Waarde",  // 11
    "Basiskleur",  // 12
    "Nieuwe kleur",  // 13
    "Lichtsterkte",  // 14
    "Rood",  // 15
    "Groen",  // 16
    "Blauw",  // 17
    "Filterwaarden",  // 18
    "Voorinstellingen",  // 19
    "Deler",  // 20
    "Laden",  // 21
    "Opslaan",  // 22
    "Egalisatie",  // 23
    "Drempel",  // 24
    "Egaliseren",  // 25
    "Histogram",  // 26
    "Grijs",  // 27
    "Licht",  // 28
    "Links",  // 29
    "Boven",  // 30
    "Breedte",  // 31
    "Hoogte",  // 32
    "Kleur",  // 33
    "Hoeveelheid originele afbeelding",  // 34
    "Lens",  // 35
    "Breking",  // 36
    "Voorbeeld van parameters",  // 37
    "Kwaliteit",  // 38
    "DCT-methode",  // 39
    "Afvlakkingsfactor",  // 40
    "Grijswaarden",  // 41
    "Optimale Huffman",  // 42
    "Oorspronkelijke grootte",  // 43
    "Gecomprimeerde grootte",  // 44
    "Geavanceerd",  // 45
    "Progressief",  // 46
    "Compressie",  // 47
    "Afbeeldingsindex",  // 48
    "Fotometrisch",  // 49
    "Gegevens gescand document",  // 50
    "Naam",  // 51
    "Beschrijving",  // 52
    "Paginanaam",  // 53
    "Paginanummer",  // 54
    "van",  // 55
    "Horiz. positie (inch)",  // 56
    "Vert. positie (inch)",  // 57
    "Kleuren",  // 58
    "Transparant",  // 59
    "Transparante kleur",  // 60
    "Interlaced",  // 61
    "Achtergrond",  // 62
    "Horiz. positie",  // 63
    "Vert. positie",  // 64
    "Vertragingstijd",  // 65
    "Filter",  // 66
    "Golf",  // 67
    "Amplitude",  // 68
    "Golflengte",  // 69
    "Fase",  // 70
    "Reflecterend",  // 71
    "Gebruikersfilter",  // 72
    "Morfologische filters",  // 73
    "Venstergrootte",  // 74
    "Maximum",  // 75
    "Minimum",  // 76
    "Opening",  // 77
    "Sluiting",  // 78
    "Draaien",  // 79
    "Spiegelen",  // 80
    "Horizontaal",  // 81
    "Verticaal",  // 82
    "Afbeelding in frequentiedomein",  // 83
    "Selecteer het gebied dat moet worden opgeschoond",  // 84
    "Wissen",  // 85
    "Herstellen",  // 86
    "Animeren",  // 87
    "Filter laden",  // 88
    "Filter opslaan",  // 89
    "Reliëfkaart",  // 90
    "Afdrukken",  // 91
    "Marges",  // 92
    "inch",  // 93
    "Rechts",  // 94
    "Onder",  // 95
    "Positie",  // 96
    "Grootte",  // 97
    "Normaal",  // 98
    "Passend op pagina",  // 99
    "Uitrekken tot pagina",  // 100
    "Opgegeven grootte",  // 101
    "Gammacorrectie",  // 102
    "Waarde",  // 103
    "Afdrukinstelling",  // 104
    "Linkermarge",  // 105
    "Bovenmarge",  // 106
    "Rechtermarge",  // 107
    "Ondermarge",  // 108
    "Locatie/grootte",  // 109
    "Linksboven",  // 110
    "Midden boven",  // 111
    "Rechtsboven",  // 112
    "Midden links",  // 113
    "Midden",  // 114
    "Midden rechts",  // 115
    "Linksonder",  // 116
    "Midden onder",  // 117
    "Rechtsonder",  // 118
    "Sluiten",  // 119
    "Toepassen",  // 120
    "Maateenheden",  // 121
    "Eenheden",  // 122
    "Verhouding",  // 123
    "Alle afbeeldingen",  // 124
    "Video voor Windows",  // 125
    "Bestand",  // 126
    "Geh.",  // 127
    "Werkt het voorbeeld automatisch bij met de gekozen wijzigingen",  // 128
    "Alles afdrukken",  // 129
    "Selectie afdrukken",  // 130
    "Gangbare afbeeldingsbestanden",  // 131
    "Alle bestanden",  // 132
    "HSV",  // 133
    "HSL",  // 134
    "RGB",  // 135
    "FFT",  // 136
    "Verscherpen",  // 137
    "Kanalen",  // 138
    "pixel",  // 139
    "frames",  // 140
    "bit",  // 141
    "byte",  // 142
    "dpi",  // 143
    "KB",  // 144
    "Fit",  // 145
};
// clang-format on

// clang-format off
const char* const kSwedish[IEWordCount] = {
    "Granska",  // 0
    "Original",  // 1
    "Resultat",  // 2
    "OK",  // 3
    "Avbryt",  // 4
    "Lås förhandsgranskning",  // 5
    "Kopiera resultat till original",  // 6
    "Kontrast",  // 7
    "Ljusstyrka",  // 8
    "Nyans",  // 9
    "Mättnad",  // 10
    "Värde",  // 11
    "Grundfärg",  // 12
    "Ny färg",  // 13
    "Luminans",  // 14
    "Röd",  // 15
    "Grön",  // 16
    "Blå",  // 17
    "Filtervärden",  // 18
    "Förinställningar",  // 19
    "Divisor",  // 20
    "Läs in",  // 21
    "Spara",  // 22
    "Utjämning",  // 23
    "Tröskel",  // 24
    "Utjämna",  // 25
    "Histogram",  // 26
    "Grå",  // 27
    "Ljus",  // 28
    "Vänster",  // 29
    "Överkant",  // 30
    "Bredd",  // 31
    "Höjd",  // 32
    "Färg",  // 33
    "Mängd originalbild",  // 34
    "Lins",  // 35
    "Brytning",  // 36
    "Förhandsgranska parametrar",  // 37
    "Kvalitet",  // 38
    "DCT-metod",  // 39
    "Utjämningsfaktor",  // 40
    "Gråskala",  // 41
    "Optimal Huffman",  // 42
    "Originalstorlek",  // 43
    "Komprimerad storlek",  // 44
    "Avancerat",  // 45
    "Progressiv",  // 46
    "Komprimering",  // 47
    "Bildindex",  // 48
    "Fotometrisk",  // 49
    "Information om skannat dokument",  // 50
    "Namn",  // 51
    "Beskrivning",  // 52
    "Sidnamn",  // 53
    "Sidnummer",  // 54
    "av",  // 55
    "Horis. position (tum)",  // 56
    "Vert. position (tum)",  // 57
    "Färger",  // 58
    "Genomskinlig",  // 59
    "Genomskinlig färg",  // 60
    "Sammanflätad",  // 61
    "Bakgrund",  // 62
    "Horis. position",  // 63
    "Vert. position",  // 64
    "Fördröjning",  // 65
    "Filter",  // 66
    "Våg",  // 67
    "Amplitud",  // 68
    "Våglängd",  // 69
    "Fas",  // 70
    "Reflekterande",  // 71
    "Användarfilter",  // 72
    "Morfologiska filter",  // 73
    "Fönsterstorlek",  // 74
    "Maximum",  // 75
    "Minimum",  // 76
    "Öppning",  // 77
    "Stängning",  // 78
    "Rotera",  // 79
    "Vänd",  // 80
    "Horisontell",  // 81
    "Vertikal",  // 82
    "Bild i frekvensdomänen",  // 83
    "Markera området som ska rensas",  // 84
    "Rensa",  // 85
    "Återställ",  // 86
    "Animera",  // 87
    "Läs in filter",  // 88
    "Spara filter",  // 89
    "Reliefkarta",  // 90
    "Skriv ut",  // 91
    "Marginaler",  // 92
    "tum",  // 93
    "Höger",  // 94
    "Nederkant",  // 95
    "Position",  // 96
    "Storlek",  // 97
    "Normal",  // 98
    "Anpassa till sidan",  // 99
    "Sträck ut till sidan",  // 100
    "Angiven storlek",  // 101
    "Gammakorrigering",  // 102
    "Värde",  // 103
    "Utskriftsinställningar",  // 104
    "Vänstermarginal",  // 105
    "Övre marginal",  // 106
    "Högermarginal",  // 107
    "Nedre marginal",  // 108
    "Placering/storlek",  // 109
    "Övre vänstra",  // 110
    "Övre mitten",  // 111
    "Övre högra",  // 112
    "Mitten vänster",  // 113
    "Mitten",  // 114
    "Mitten höger",  // 115
    "Nedre vänstra",  // 116
    "Nedre mitten",  // 117
    "Nedre högra",  // 118
    "Stäng",  // 119
    "Verkställ",  // 120
    "Måttenheter",  // 121
    "Enheter",  // 122
    "Förhållande",  // 123
    "All grafik",  // 124
    "Video för Windows",  // 125
    "Fil",  // 126
    "Minne",  // 127
    "Uppdaterar förhandsgranskningen automatiskt med de ändringar du har valt",  // 128
    "Skriv ut alla",  // 129
    "Skriv ut markerade",  // 130
    "Vanliga grafikfiler",  // 131
    "Alla filer",  // 132
    "HSV",  // 133
    "HSL",  // 134
    "RGB",  // 135
    "FFT",  // 136
    "Skärpa",  // 137
    "Kanaler",  // 138
    "pixel",  // 139
    "bildrutor",  // 140
    "bit",  // 141
    "byte",  // 142
    "dpi",  // 143
    "KB",  // 144
    "Fit",  // 145
};
// clang-format on

const char* const kPolish[IEWordCount] = {
    "Podgląd",                                             // 0
    "Oryginał",                                            // 1
    "Wynik",                                               // 2
    "OK",                                                  // 3
    "Anuluj",                                              // 4
    "Zablokuj podgląd",                                    // 5
    "Kopiuj wynik do oryginału",                           // 6
    "Kontrast",                                            // 7
    "Jasność",                                             // 8
    "Barwa",                                               // 9
    "Nasycenie",                                           // 10
    "Wartość",                                             // 11
    "Kolor bazowy",                                        // 12
    "Nowy kolor",                                          // 13
    "Luminancja",                                          // 14
    "Czerwony",                                            // 15
    "Zielony",                                             // 16
    "Niebieski",                                           // 17
    "Wartości filtru",                                     // 18
    "Ustawienia wstępne",                                  // 19
    "Dzielnik",                                            // 20
    "Wczytaj",                                             // 21
    "Zapisz",                                              // 22
    "Wyrównanie",                                          // 23
    "Próg",                                                // 24
    "Wyrównaj",                                            // 25
    "Histogram",                                           // 26
    "Szary",                                               // 27
    "Światło",                                             // 28
    "Z lewej",                                             // 29
    "Z góry",                                              // 30
    "Szerokość",                                           // 31
    "Wysokość",                                            // 32
    "Kolor",                                               // 33
    "Udział obrazu oryginalnego",                          // 34
    "Soczewka",                                            // 35
    "Załamanie",                                           // 36
    "Podgląd parametrów",                                  // 37
    "Jakość",                                              // 38
    "Metoda DCT",                                          // 39
    "Współczynnik wygładzania",                            // 40
    "Skala szarości",                                      // 41
    "Optymalny Huffman",                                   // 42
    "Rozmiar oryginalny",                                  // 43
    "Rozmiar po kompresji",                                // 44
    "Zaawansowane",                                        // 45
    "Progresywny",                                         // 46
    "Kompresja",                                           // 47
    "Indeks obrazu",                                       // 48
    "Fotometria",                                          // 49
    "Informacje o zeskanowanym dokumencie",                // 50
    "Nazwa",                                               // 51
    "Opis",                                                // 52
    "Nazwa strony",                                        // 53
    "Numer strony",                                        // 54
    "z",                                                   // 55
    "Poz. pozioma (cale)",                                 // 56
    "Poz. pionowa (cale)",                                 // 57
    "Kolory",                                              // 58
    "Przezroczysty",                                       // 59
    "Kolor przezroczysty",                                 // 60
    "Z przeplotem",                                        // 61
    "Tło",                                                 // 62
    "Poz. pozioma",                                        // 63
    "Poz. pionowa",                                        // 64
    "Czas opóźnienia",                                     // 65
    "Filtr",                                               // 66
    "Fala",                                                // 67
    "Amplituda",                                           // 68
    "Długość fali",                                        // 69
    "Faza",                                                // 70
    "Odbijający",                                          // 71
    "Filtr użytkownika",                                   // 72
    "Filtry morfologiczne",                                // 73
    "Rozmiar okna",                                        // 74
    "Maksimum",                                            // 75
    "Minimum",                                             // 76
    "Otwarcie",                                            // 77
    "Zamknięcie",                                          // 78
    "Obróć",                                               // 79
    "Odwróć",                                              // 80
    "Poziomo",                                             // 81
    "Pionowo",                                             // 82
    "Obraz w dziedzinie częstotliwości",                   // 83
    "Zaznacz obszar do oczyszczenia",                      // 84
    "Wyczyść",                                             // 85
    "Resetuj",                                             // 86
    "Animuj",                                              // 87
    "Wczytaj filtr",                                       // 88
    "Zapisz filtr",                                        // 89
    "Mapa wypukłości",                                     // 90
    "Drukuj",                                              // 91
    "Marginesy",                                           // 92
    "cale",                                                // 93
    "Z prawej",                                            // 94
    "Z dołu",                                              // 95
    "Położenie",                                           // 96
    "Rozmiar",                                             // 97
    "Normalny",                                            // 98
    "Dopasuj do strony",                                   // 99
    "Rozciągnij na stronę",                                // 100
    "Określony rozmiar",                                   // 101
    "Korekcja gamma",                                      // 102
    "Wartość",                                             // 103
    "Ustawienia wydruku",                                  // 104
    "Lewy margines",                                       // 105
    "Górny margines",                                      // 106
    "Prawy margines",                                      // 107
    "Dolny margines",                                      // 108
    "Położenie/rozmiar",                                   // 109
    "Lewy górny",                                          // 110
    "Górny środkowy",                                      // 111
    "Prawy górny",                                         // 112
    "Lewy środkowy",                                       // 113
    "Środek",                                              // 114
    "Prawy środkowy",                                      // 115
    "Lewy dolny",                                          // 116
    "Dolny środkowy",                                      // 117
    "Prawy dolny",                                         // 118
    "Zamknij",                                             // 119
    "Zastosuj",                                            // 120
    "Jednostki miary",                                     // 121
    "Jednostki",                                           // 122
    nullptr,                                               // 123
    "Wszystkie obrazy",                                    // 124
    "Video for Windows",                                   // 125
    "Plik",                                                // 126
    "Pamięć",                                              // 127
    "Automatycznie aktualizuje podgląd o wybrane zmiany",  // 128
    "Drukuj wszystko",                                     // 129
    "Drukuj zaznaczone",                                   // 130
    "Popularne pliki graficzne",                           // 131
    "Wszystkie pliki",                                     // 132
    "HSV",                                                 // 133
    "HSL",                                                 // 134
    "RGB",                                                 // 135
    "FFT",                                                 // 136
    "Wyostrz",                                             // 137
    "Kanały",                                              // 138
    "piksel",                                              // 139
    "klatki",                                              // 140
    "bit",                                                 // 141
    "bajt",                                                // 142
    "dpi",                                                 // 143
    "KB",                                                  // 144
    "Fit",                                                 // 145
};

const char* const kJapanese[IEWordCount] = {
    "プレビュー",                                    // 0
    "オリジナル",                                    // 1
    "結果",                                          // 2
    "OK",                                            // 3
    "キャンセル",                                    // 4
    "プレビューを固定",                              // 5
    "結果をオリジナルにコピー",                      // 6
    "コントラスト",                                  // 7
    "明るさ",                                        // 8
    "色相",                                          // 9
    "彩度",                                          // 10
    "明度",                                          // 11
    "基本色",                                        // 12
    "新しい色",                                      // 13
    "輝度",                                          // 14
    "赤",                                            // 15
    "緑",                                            // 16
    "青",                                            // 17
    "フィルタ値",                                    // 18
    "プリセット",                                    // 19
    "除数",                                          // 20
    "読み込み",                                      // 21
    "保存",                                          // 22
    "均等化",                                        // 23
    "しきい値",                                      // 24
    "均等化する",                                    // 25
    "ヒストグラム",                                  // 26
    "グレー",                                        // 27
    "光",                                            // 28
    "左",                                            // 29
    "上",                                            // 30
    "幅",                                            // 31
    "高さ",                                          // 32
    "色",                                            // 33
    "元画像の割合",                                  // 34
    "レンズ",                                        // 35
    "屈折",                                          // 36
    "パラメータのプレビュー",                        // 37
    "品質",                                          // 38
    "DCT 方式",                                      // 39
    "スムージング係数",                              // 40
    "グレースケール",                                // 41
    "最適ハフマン",                                  // 42
    "元のサイズ",                                    // 43
    "圧縮後のサイズ",                                // 44
    "詳細設定",                                      // 45
    "プログレッシブ",                                // 46
    "圧縮",                                          // 47
    "画像インデックス",                              // 48
    "フォトメトリック",                              // 49
    "スキャン文書の情報",                            // 50
    "名前",                                          // 51
    "説明",                                          // 52
    "ページ名",                                      // 53
    "ページ番号",                                    // 54
    "/",                                             // 55
    "水平位置 (インチ)",                             // 56
    "垂直位置 (インチ)",                             // 57
    "色数",                                          // 58
    "透過",                                          // 59
    "透過色",                                        // 60
    "インターレース",                                // 61
    "背景",                                          // 62
    "水平位置",                                      // 63
    "垂直位置",                                      // 64
    "遅延時間",                                      // 65
    "フィルタ",                                      // 66
    "波",                                            // 67
    "振幅",                                          // 68
    "波長",                                          // 69
    "位相",                                          // 70
    "反射",                                          // 71
    "ユーザー フィルタ",                             // 72
    "モルフォロジー フィルタ",                       // 73
    "ウィンドウ サイズ",                             // 74
    "最大",                                          // 75
    "最小",                                          // 76
    "オープニング",                                  // 77
    "クロージング",                                  // 78
    "回転",                                          // 79
    "反転",                                          // 80
    "水平",                                          // 81
    "垂直",                                          // 82
    "周波数領域の画像",                              // 83
    "消去する領域を選択してください",                // 84
    "クリア",                                        // 85
    "リセット",                                      // 86
    "アニメーション",                                // 87
    "フィルタを読み込む",                            // 88
    "フィルタを保存",                                // 89
    "バンプ マップ",                                 // 90
    "印刷",                                          // 91
    "余白",                                          // 92
    "インチ",                                        // 93
    "右",                                            // 94
    "下",                                            // 95
    "位置",                                          // 96
    "サイズ",                                        // 97
    "標準",                                          // 98
    "ページに合わせる",                              // 99
    "ページに引き伸ばす",                            // 100
    "指定サイズ",                                    // 101
    "ガンマ補正",                                    // 102
    "値",                                            // 103
    "印刷設定",                                      // 104
    "左余白",                                        // 105
    "上余白",                                        // 106
    "右余白",                                        // 107
    "下余白",                                        // 108
    "位置/サイズ",                                   // 109
    "左上",                                          // 110
    "中央上",                                        // 111
    "右上",                                          // 112
    "左中央",                                        // 113
    "中央",                                          // 114
    "右中央",                                        // 115
    "左下",                                          // 116
    "中央下",                                        // 117
    "右下",                                          // 118
    "閉じる",                                        // 119
    "適用",                                          // 120
    "測定単位",                                      // 121
    "単位",                                          // 122
    "レート",                                        // 123
    "すべてのグラフィックス",                        // 124
    "Video for Windows",                             // 125
    "ファイル",                                      // 126
    "メモリ",                                        // 127
    "選択した変更でプレビューを自動的に更新します",  // 128
    "すべて印刷",                                    // 129
    "選択部分を印刷",                                // 130
    "一般的なグラフィック ファイル",                 // 131
    "すべてのファイル",                              // 132
    "HSV",                                           // 133
    "HSL",                                           // 134
    "RGB",                                           // 135
    "FFT",                                           // 136
    "シャープ",                                      // 137
    "チャンネル",                                    // 138
    "ピクセル",                                      // 139
    "フレーム",                                      // 140
    "ビット",                                        // 141
    "バイト",                                        // 142
    "dpi",                                           // 143
    "KB",                                            // 144
    "Fit",                                           // 145
};

// clang-format off
const char* const kCzech[IEWordCount] = {
    "Náhled",  // 0
    "Originál",  // 1
    "Výsledek",  // 2
    "OK",  // 3
    "Storno",  // 4
    "Zamknout náhled",  // 5
    "Kopírovat výsledek do originálu",  // 6
    "Kontrast",  // 7
    "Jas",  // 8
    "Odstín",  // 9
    "Sytost",  // 10
    "Hodnota",  // 11
    "Základní barva",  // 12
    "Nová barva",  // 13
    "Světelnost",  // 14
    "Červená",  // 15
    "Zelená",  // 16
    "Modrá",  // 17
    "Hodnoty filtru",  // 18
    "Předvolby",  // 19
    "Dělitel",  // 20
    "Načíst",  // 21
    "Uložit",  // 22
    "Vyrovnání",  // 23
    "Práh",  // 24
    "Vyrovnat",  // 25
    "Histogram",  // 26
    "Šedá",  // 27
    "Světlo",  // 28
    "Vlevo",  // 29
    "Nahoře",  // 30
    "Šířka",  // 31
    "Výška",  // 32
    "Barva",  // 33
    "Podíl původního obrázku",  // 34
    "Čočka",  // 35
    "Lom",  // 36
    "Náhled parametrů",  // 37
    "Kvalita",  // 38
    "Metoda DCT",  // 39
    "Faktor vyhlazení",  // 40
    "Stupně šedi",  // 41
    "Optimální Huffman",  // 42
    "Původní velikost",  // 43
    "Komprimovaná velikost",  // 44
    "Upřesnit",  // 45
    "Progresivní",  // 46
    "Komprese",  // 47
    "Index obrázku",  // 48
    "Fotometrie",  // 49
    "Informace o naskenovaném dokumentu",  // 50
    "Název",  // 51
    "Popis",  // 52
    "Název stránky",  // 53
    "Číslo stránky",  // 54
    "z",  // 55
    "Vodor. pozice (palce)",  // 56
    "Svislá pozice (palce)",  // 57
    "Barvy",  // 58
    "Průhledný",  // 59
    "Průhledná barva",  // 60
    "Prokládaný",  // 61
    "Pozadí",  // 62
    "Vodor. pozice",  // 63
    "Svislá pozice",  // 64
    "Doba zpoždění",  // 65
    "Filtr",  // 66
    "Vlna",  // 67
    "Amplituda",  // 68
    "Vlnová délka",  // 69
    "Fáze",  // 70
    "Odrazivý",  // 71
    "Uživatelský filtr",  // 72
    "Morfologické filtry",  // 73
    "Velikost okna",  // 74
    "Maximum",  // 75
    "Minimum",  // 76
    "Otevření",  // 77
    "Uzavření",  // 78
    "Otočit",  // 79
    "Převrátit",  // 80
    "Vodorovně",  // 81
    "Svisle",  // 82
    "Obraz ve frekvenční oblasti",  // 83
    "Vyberte oblast k vyčištění",  // 84
    "Vymazat",  // 85
    "Obnovit",  // 86
    "Animovat",  // 87
    "Načíst filtr",  // 88
    "Uložit filtr",  // 89
    "Reliéfní mapa",  // 90
    "Tisk",  // 91
    "Okraje",  // 92
    "palce",  // 93
    "Vpravo",  // 94
    "Dole",  // 95
    "Pozice",  // 96
    "Velikost",  // 97
    "Normální",  // 98
    "Přizpůsobit stránce",  // 99
    "Roztáhnout na stránku",  // 100
    "Zadaná velikost",  // 101
    "Korekce gama",  // 102
    "Hodnota",  // 103
    "Nastavení tisku",  // 104
    "Levý okraj",  // 105
    "Horní okraj",  // 106
    "Pravý okraj",  // 107
    "Dolní okraj",  // 108
    "Umístění/velikost",  // 109
    "Vlevo nahoře",  // 110
    "Nahoře uprostřed",  // 111
    "Vpravo nahoře",  // 112
    "Vlevo uprostřed",  // 113
    "Uprostřed",  // 114
    "Vpravo uprostřed",  // 115
    "Vlevo dole",  // 116
    "Dole uprostřed",  // 117
    "Vpravo dole",  // 118
    "Zavřít",  // 119
    "Použít",  // 120
    "Měrné jednotky",  // 121
    "Jednotky",  // 122
    "Poměr",  // 123
    "Všechny obrázky",  // 124
    "Video pro Windows",  // 125
    "Soubor",  // 126
    "Paměť",  // 127
    "Automaticky aktualizuje náhled podle vybraných změn",  // 128
    "Tisknout vše",  // 129
    "Tisknout vybrané",  // 130
    "Běžné grafické soubory",  // 131
    "Všechny soubory",  // 132
    "HSV",  // 133
    "HSL",  // 134
    "RGB",  // 135
    "FFT",  // 136
    "Doostřit",  // 137
    "Kanály",  // 138
    "pixel",  // 139
    "snímky",  // 140
    "bit",  // 141
    "bajt",  // 142
    "dpi",  // 143
    "KB",  // 144
    "Fit",  // 145
};
// clang-format on

const char* const kFinnish[IEWordCount] = {
    "Esikatselu",                                                        // 0
    "Alkuperäinen",                                                      // 1
    "Tulos",                                                             // 2
    "OK",                                                                // 3
    "Peruuta",                                                           // 4
    "Lukitse esikatselu",                                                // 5
    "Kopioi tulos alkuperäiseen",                                        // 6
    "Kontrasti",                                                         // 7
    "Kirkkaus",                                                          // 8
    "Sävy",                                                              // 9
    "Kylläisyys",                                                        // 10
    "Arvo",                                                              // 11
    "Perusväri",                                                         // 12
    "Uusi väri",                                                         // 13
    "Valovoima",                                                         // 14
    "Punainen",                                                          // 15
    "Vihreä",                                                            // 16
    "Sininen",                                                           // 17
    "Suodattimen arvot",                                                 // 18
    "Esiasetukset",                                                      // 19
    "Jakaja",                                                            // 20
    "Lataa",                                                             // 21
    "Tallenna",                                                          // 22
    "Tasoitus",                                                          // 23
    "Kynnys",                                                            // 24
    "Tasoita",                                                           // 25
    "Histogrammi",                                                       // 26
    "Harmaa",                                                            // 27
    "Valo",                                                              // 28
    "Vasen",                                                             // 29
    "Ylä",                                                               // 30
    "Leveys",                                                            // 31
    "Korkeus",                                                           // 32
    "Väri",                                                              // 33
    "Alkuperäisen kuvan osuus",                                          // 34
    "Linssi",                                                            // 35
    "Taittuminen",                                                       // 36
    "Parametrien esikatselu",                                            // 37
    "Laatu",                                                             // 38
    "DCT-menetelmä",                                                     // 39
    "Pehmennyskerroin",                                                  // 40
    "Harmaasävy",                                                        // 41
    "Optimaalinen Huffman",                                              // 42
    "Alkuperäinen koko",                                                 // 43
    "Pakattu koko",                                                      // 44
    "Lisäasetukset",                                                     // 45
    "Progressiivinen",                                                   // 46
    "Pakkaus",                                                           // 47
    "Kuvan indeksi",                                                     // 48
    "Fotometrinen",                                                      // 49
    "Skannatun asiakirjan tiedot",                                       // 50
    "Nimi",                                                              // 51
    "Kuvaus",                                                            // 52
    "Sivun nimi",                                                        // 53
    "Sivunumero",                                                        // 54
    "/",                                                                 // 55
    "Vaakasijainti (tuumaa)",                                            // 56
    "Pystysijainti (tuumaa)",                                            // 57
    "Värit",                                                             // 58
    "Läpinäkyvä",                                                        // 59
    "Läpinäkyvä väri",                                                   // 60
    "Lomitettu",                                                         // 61
    "Tausta",                                                            // 62
    "Vaakasijainti",                                                     // 63
    "Pystysijainti",                                                     // 64
    "Viive",                                                             // 65
    "Suodatin",                                                          // 66
    "Aalto",                                                             // 67
    "Amplitudi",                                                         // 68
    "Aallonpituus",                                                      // 69
    "Vaihe",                                                             // 70
    "Heijastava",                                                        // 71
    "Käyttäjän suodatin",                                                // 72
    "Morfologiset suodattimet",                                          // 73
    "Ikkunan koko",                                                      // 74
    "Maksimi",                                                           // 75
    "Minimi",                                                            // 76
    "Avaus",                                                             // 77
    "Sulkeminen",                                                        // 78
    "Kierrä",                                                            // 79
    "Peilaa",                                                            // 80
    "Vaaka",                                                             // 81
    "Pysty",                                                             // 82
    "Taajuustason kuva",                                                 // 83
    "Valitse puhdistettava alue",                                        // 84
    "Tyhjennä",                                                          // 85
    "Palauta",                                                           // 86
    "Animoi",                                                            // 87
    "Lataa suodatin",                                                    // 88
    "Tallenna suodatin",                                                 // 89
    "Kohokuvio",                                                         // 90
    "Tulosta",                                                           // 91
    "Reunukset",                                                         // 92
    "tuumaa",                                                            // 93
    "Oikea",                                                             // 94
    "Ala",                                                               // 95
    "Sijainti",                                                          // 96
    "Koko",                                                              // 97
    "Normaali",                                                          // 98
    "Sovita sivulle",                                                    // 99
    "Venytä sivulle",                                                    // 100
    "Määritetty koko",                                                   // 101
    "Gammakorjaus",                                                      // 102
    "Arvo",                                                              // 103
    "Tulostusasetukset",                                                 // 104
    "Vasen reunus",                                                      // 105
    "Yläreunus",                                                         // 106
    "Oikea reunus",                                                      // 107
    "Alareunus",                                                         // 108
    "Sijainti/koko",                                                     // 109
    "Ylhäällä vasemmalla",                                               // 110
    "Ylhäällä keskellä",                                                 // 111
    "Ylhäällä oikealla",                                                 // 112
    "Keskellä vasemmalla",                                               // 113
    "Keskellä",                                                          // 114
    "Keskellä oikealla",                                                 // 115
    "Alhaalla vasemmalla",                                               // 116
    "Alhaalla keskellä",                                                 // 117
    "Alhaalla oikealla",                                                 // 118
    "Sulje",                                                             // 119
    "Käytä",                                                             // 120
    "Mittayksiköt",                                                      // 121
    "Yksiköt",                                                           // 122
    "Suhde",                                                             // 123
    "Kaikki kuvat",                                                      // 124
    "Video for Windows",                                                 // 125
    "Tiedosto",                                                          // 126
    "Muisti",                                                            // 127
    "Päivittää esikatselun automaattisesti valitsemillasi muutoksilla",  // 128
    "Tulosta kaikki",                                                    // 129
    "Tulosta valitut",                                                   // 130
    "Yleiset kuvatiedostot",                                             // 131
    "Kaikki tiedostot",                                                  // 132
    "HSV",                                                               // 133
    "HSL",                                                               // 134
    "RGB",                                                               // 135
    "FFT",                                                               // 136
    "Terävöitä",                                                         // 137
    "Kanavat",                                                           // 138
    "pikseli",                                                           // 139
    "kehystä",                                                           // 140
    "bittiä",                                                            // 141
    "tavua",                                                             // 142
    "dpi",                                                               // 143
    "KB",                                                                // 144
    "Fit",                                                               // 145
};

const char* const kFarsi[IEWordCount] = {
    "پيش نمايش",                                                                // 0
    "اصلي",                                                                     // 1
    "نتيجه",                                                                    // 2
    "تأييد",                                                                    // 3
    "انصراف",                                                                   // 4
    "قفل پيش نمايش",                                                            // 5
    "کپي نتيجه به اصلي",                                                        // 6
    "کنتراست",                                                                  // 7
    "روشنايي",                                                                  // 8
    "فام",                                                                      // 9
    "اشباع",                                                                    // 10
    "مقدار",                                                                    // 11
    "رنگ پايه",                                                                 // 12
    "رنگ جديد",                                                                 // 13
    "درخشندگي",                                                                 // 14
    "قرمز",                                                                     // 15
    "سبز",                                                                      // 16
    "آبي",                                                                      // 17
    "مقادير فيلتر",                                                             // 18
    "پيش تنظيم ها",                                                             // 19
    "مقسوم عليه",                                                               // 20
    "بارگذاري",                                                                 // 21
    "ذخيره",                                                                    // 22
    "يکسان سازي",                                                               // 23
    "آستانه",                                                                   // 24
    "يکسان کن",                                                                 // 25
    "هيستوگرام",                                                                // 26
    "خاکستري",                                                                  // 27
    "نور",                                                                      // 28
    "چپ",                                                                       // 29
    "بالا",                                                                     // 30
    "عرض",                                                                      // 31
    "ارتفاع",                                                                   // 32
    "رنگ",                                                                      // 33
    "ميزان تصوير اصلي",                                                         // 34
    "عدسي",                                                                     // 35
    "شکست نور",                                                                 // 36
    "پيش نمايش پارامترها",                                                      // 37
    "کيفيت",                                                                    // 38
    "روش DCT",                                                                  // 39
    "ضريب هموارسازي",                                                           // 40
    "مقياس خاکستري",                                                            // 41
    "هافمن بهينه",                                                              // 42
    "اندازه اصلي",                                                              // 43
    "اندازه فشرده",                                                             // 44
    "پيشرفته",                                                                  // 45
    "تدريجي",                                                                   // 46
    "فشرده سازي",                                                               // 47
    "شماره تصوير",                                                              // 48
    "فتومتريک",                                                                 // 49
    "اطلاعات سند اسکن شده",                                                     // 50
    "نام",                                                                      // 51
    "توضيحات",                                                                  // 52
    "نام صفحه",                                                                 // 53
    "شماره صفحه",                                                               // 54
    "از",                                                                       // 55
    "موقعيت افقي (اينچ)",                                                       // 56
    "موقعيت عمودي (اينچ)",                                                      // 57
    "رنگ ها",                                                                   // 58
    "شفاف",                                                                     // 59
    "رنگ شفاف",                                                                 // 60
    "درهم",                                                                     // 61
    "پس زمينه",                                                                 // 62
    "موقعيت افقي",                                                              // 63
    "موقعيت عمودي",                                                             // 64
    "زمان تأخير",                                                               // 65
    "فيلتر",                                                                    // 66
    "موج",                                                                      // 67
    "دامنه",                                                                    // 68
    "طول موج",                                                                  // 69
    "فاز",                                                                      // 70
    "بازتابي",                                                                  // 71
    "فيلتر کاربر",                                                              // 72
    "فيلترهاي ريخت شناسي",                                                      // 73
    "اندازه پنجره",                                                             // 74
    "بيشينه",                                                                   // 75
    "کمينه",                                                                    // 76
    "بازکردن",                                                                  // 77
    "بستن",                                                                     // 78
    "چرخش",                                                                     // 79
    "وارونه سازي",                                                              // 80
    "افقي",                                                                     // 81
    "عمودي",                                                                    // 82
    "تصوير در حوزه فرکانس",                                                     // 83
    "ناحيه مورد نظر براي پاکسازي را انتخاب کنيد",                               // 84
    "پاک کردن",                                                                 // 85
    "بازنشاني",                                                                 // 86
    "متحرک سازي",                                                               // 87
    "بارگذاري فيلتر",                                                           // 88
    "ذخيره فيلتر",                                                              // 89
    "نقشه برجستگي",                                                             // 90
    "چاپ",                                                                      // 91
    "حاشيه ها",                                                                 // 92
    "اينچ",                                                                     // 93
    "راست",                                                                     // 94
    "پايين",                                                                    // 95
    "موقعيت",                                                                   // 96
    "اندازه",                                                                   // 97
    "عادي",                                                                     // 98
    "متناسب با صفحه",                                                           // 99
    "کشيدن تا اندازه صفحه",                                                     // 100
    "اندازه مشخص",                                                              // 101
    "اصلاح گاما",                                                               // 102
    "مقدار",                                                                    // 103
    "تنظيمات چاپ",                                                              // 104
    "حاشيه چپ",                                                                 // 105
    "حاشيه بالا",                                                               // 106
    "حاشيه راست",                                                               // 107
    "حاشيه پايين",                                                              // 108
    "مکان/اندازه",                                                              // 109
    "بالا چپ",                                                                  // 110
    "بالا وسط",                                                                 // 111
    "بالا راست",                                                                // 112
    "وسط چپ",                                                                   // 113
    "وسط",                                                                      // 114
    "وسط راست",                                                                 // 115
    "پايين چپ",                                                                 // 116
    "پايين وسط",                                                                // 117
    "پايين راست",                                                               // 118
    "بستن",                                                                     // 119
    "اعمال",                                                                    // 120
    "واحدهاي اندازه گيري",                                                      // 121
    "واحدها",                                                                   // 122
    "نرخ",                                                                      // 123
    "همه تصاوير",                                                               // 124
    "Video for Windows",                                                        // 125
    "فايل",                                                                     // 126
    "حافظه",                                                                    // 127
    "پيش نمايش را با تغييراتي که انتخاب کرده ايد به طور خودکار به روز مي کند",  // 128
    "چاپ همه",                                                                  // 129
    "چاپ انتخاب شده",                                                           // 130
    "فايل هاي گرافيکي رايج",                                                    // 131
    "همه فايل ها",                                                              // 132
    "HSV",                                                                      // 133
    "HSL",                                                                      // 134
    "RGB",                                                                      // 135
    "FFT",                                                                      // 136
    "وضوح بخشي",                                                                // 137
    "کانال ها",                                                                 // 138
    "پيکسل",                                                                    // 139
    "فريم",                                                                     // 140
    "بيت",                                                                      // 141
    "بايت",                                                                     // 142
    "dpi",                                                                      // 143
    "KB",                                                                       // 144
    "Fit",                                                                      // 145
};

const char* const kChinese[IEWordCount] = {
    "预览",                      // 0
    "原图",                      // 1
    "结果",                      // 2
    "确定",                      // 3
    "取消",                      // 4
    "锁定预览",                  // 5
    "将结果复制到原图",          // 6
    "对比度",                    // 7
    "亮度",                      // 8
    "色调",                      // 9
    "饱和度",                    // 10
    "明度",                      // 11
    "基准色",                    // 12
    "新颜色",                    // 13
    "光度",                      // 14
    "红",                        // 15
    "绿",                        // 16
    "蓝",                        // 17
    "滤镜值",                    // 18
    "预设",                      // 19
    "除数",                      // 20
    "载入",                      // 21
    "保存",                      // 22
    "均衡化",                    // 23
    "阈值",                      // 24
    "均衡",                      // 25
    "直方图",                    // 26
    "灰色",                      // 27
    "光源",                      // 28
    "左",                        // 29
    "上",                        // 30
    "宽度",                      // 31
    "高度",                      // 32
    "颜色",                      // 33
    "原图比例",                  // 34
    "透镜",                      // 35
    "折射",                      // 36
    "参数预览",                  // 37
    "质量",                      // 38
    "DCT 方法",                  // 39
    "平滑系数",                  // 40
    "灰度",                      // 41
    "优化霍夫曼编码",            // 42
    "原始大小",                  // 43
    "压缩后大小",                // 44
    "高级",                      // 45
    "渐进式",                    // 46
    "压缩",                      // 47
    "图像索引",                  // 48
    "光度解释",                  // 49
    "扫描文档信息",              // 50
    "名称",                      // 51
    "描述",                      // 52
    "页面名称",                  // 53
    "页码",                      // 54
    "/",                         // 55
    "水平位置 (英寸)",           // 56
    "垂直位置 (英寸)",           // 57
    "颜色数",                    // 58
    "透明",                      // 59
    "透明色",                    // 60
    "隔行扫描",                  // 61
    "背景",                      // 62
    "水平位置",                  // 63
    "垂直位置",                  // 64
    "延迟时间",                  // 65
    "滤镜",                      // 66
    "波浪",                      // 67
    "振幅",                      // 68
    "波长",                      // 69
    "相位",                      // 70
    "反射",                      // 71
    "自定义滤镜",                // 72
    "形态学滤镜",                // 73
    "窗口大小",                  // 74
    "最大值",                    // 75
    "最小值",                    // 76
    "开运算",                    // 77
    "闭运算",                    // 78
    "旋转",                      // 79
    "翻转",                      // 80
    "水平",                      // 81
    "垂直",                      // 82
    "频域图像",                  // 83
    "选择要清除的区域",          // 84
    "清除",                      // 85
    "重置",                      // 86
    "动画",                      // 87
    "载入滤镜",                  // 88
    "保存滤镜",                  // 89
    "凹凸贴图",                  // 90
    "打印",                      // 91
    "页边距",                    // 92
    "英寸",                      // 93
    "右",                        // 94
    "下",                        // 95
    "位置",                      // 96
    "大小",                      // 97
    "正常",                      // 98
    "适合页面",                  // 99
    "拉伸到页面",                // 100
    "指定大小",                  // 101
    "伽玛校正",                  // 102
    "值",                        // 103
    "打印设置",                  // 104
    "左边距",                    // 105
    "上边距",                    // 106
    "右边距",                    // 107
    "下边距",                    // 108
    "位置/大小",                 // 109
    "左上",                      // 110
    "上中",                      // 111
    "右上",                      // 112
    "左中",                      // 113
    "居中",                      // 114
    "右中",                      // 115
    "左下",                      // 116
    "下中",                      // 117
    "右下",                      // 118
    "关闭",                      // 119
    "应用",                      // 120
    "度量单位",                  // 121
    "单位",                      // 122
    "比率",                      // 123
    "所有图形",                  // 124
    "Video for Windows",         // 125
    "文件",                      // 126
    "内存",                      // 127
    "根据所选更改自动更新预览",  // 128
    "全部打印",                  // 129
    "打印所选",                  // 130
    "常用图形文件",              // 131
    "所有文件",                  // 132
    "HSV",                       // 133
    "HSL",                       // 134
    "RGB",                       // 135
    "FFT",                       // 136
    "锐化",                      // 137
    "通道",                      // 138
    "像素",                      // 139
    "帧",                        // 140
    "位",                        // 141
    "字节",                      // 142
    "dpi",                       // 143
    "KB",                        // 144
    "Fit",                       // 145
};

const char* const kChineseTraditional[IEWordCount] = {
    "預覽",                        // 0
    "原圖",                        // 1
    "結果",                        // 2
    "確定",                        // 3
    "取消",                        // 4
    "鎖定預覽",                    // 5
    "將結果複製到原圖",            // 6
    "對比",                        // 7
    "亮度",                        // 8
    "色相",                        // 9
    "飽和度",                      // 10
    "明度",                        // 11
    "基準色",                      // 12
    "新色彩",                      // 13
    "光度",                        // 14
    "紅",                          // 15
    "綠",                          // 16
    "藍",                          // 17
    "濾鏡值",                      // 18
    "預設集",                      // 19
    "除數",                        // 20
    "載入",                        // 21
    "儲存",                        // 22
    "等化",                        // 23
    "臨界值",                      // 24
    "等化處理",                    // 25
    "直方圖",                      // 26
    "灰色",                        // 27
    "光源",                        // 28
    "左",                          // 29
    "上",                          // 30
    "寬度",                        // 31
    "高度",                        // 32
    "色彩",                        // 33
    "原始影像比例",                // 34
    "透鏡",                        // 35
    "折射",                        // 36
    "參數預覽",                    // 37
    "品質",                        // 38
    "DCT 方法",                    // 39
    "平滑係數",                    // 40
    "灰階",                        // 41
    "最佳化霍夫曼",                // 42
    "原始大小",                    // 43
    "壓縮後大小",                  // 44
    "進階",                        // 45
    "漸進式",                      // 46
    "壓縮",                        // 47
    "影像索引",                    // 48
    "光度解譯",                    // 49
    "掃描文件資訊",                // 50
    "名稱",                        // 51
    "描述",                        // 52
    "頁面名稱",                    // 53
    "頁碼",                        // 54
    "/",                           // 55
    "水平位置 (英吋)",             // 56
    "垂直位置 (英吋)",             // 57
    "色彩數",                      // 58
    "透明",                        // 59
    "透明色",                      // 60
    "交錯",                        // 61
    "背景",                        // 62
    "水平位置",                    // 63
    "垂直位置",                    // 64
    "延遲時間",                    // 65
    "濾鏡",                        // 66
    "波浪",                        // 67
    "振幅",                        // 68
    "波長",                        // 69
    "相位",                        // 70
    "反射",                        // 71
    "自訂濾鏡",                    // 72
    "形態學濾鏡",                  // 73
    "視窗大小",                    // 74
    "最大值",                      // 75
    "最小值",                      // 76
    "斷開",                        // 77
    "閉合",                        // 78
    "旋轉",                        // 79
    "翻轉",                        // 80
    "水平",                        // 81
    "垂直",                        // 82
    "頻域影像",                    // 83
    "選取要清除的區域",            // 84
    "清除",                        // 85
    "重設",                        // 86
    "動畫",                        // 87
    "載入濾鏡",                    // 88
    "儲存濾鏡",                    // 89
    "凹凸貼圖",                    // 90
    "列印",                        // 91
    "邊界",                        // 92
    "英吋",                        // 93
    "右",                          // 94
    "下",                          // 95
    "位置",                        // 96
    "大小",                        // 97
    "一般",                        // 98
    "符合頁面",                    // 99
    "延展至頁面",                  // 100
    "指定大小",                    // 101
    "Gamma 校正",                  // 102
    "值",                          // 103
    "列印設定",                    // 104
    "左邊界",                      // 105
    "上邊界",                      // 106
    "右邊界",                      // 107
    "下邊界",                      // 108
    "位置/大小",                   // 109
    "左上",                        // 110
    "中上",                        // 111
    "右上",                        // 112
    "左中",                        // 113
    "置中",                        // 114
    "右中",                        // 115
    "左下",                        // 116
    "中下",                        // 117
    "右下",                        // 118
    "關閉",                        // 119
    "套用",                        // 120
    "度量單位",                    // 121
    "單位",                        // 122
    "比率",                        // 123
    "所有圖形",                    // 124
    "Video for Windows",           // 125
    "檔案",                        // 126
    "記憶體",                      // 127
    "依據所選的變更自動更新預覽",  // 128
    "全部列印",                    // 129
    "列印選取範圍",                // 130
    "常用圖形檔案",                // 131
    "所有檔案",                    // 132
    "HSV",                         // 133
    "HSL",                         // 134
    "RGB",                         // 135
    "FFT",                         // 136
    "銳利化",                      // 137
    "色版",                        // 138
    "像素",                        // 139
    "畫格",                        // 140
    "位元",                        // 141
    "位元組",                      // 142
    "dpi",                         // 143
    "KB",                          // 144
    "Fit",                         // 145
};

// clang-format off
const char* const kDanish[IEWordCount] = {
    "Visning",  // 0
    "Original",  // 1
    "Resultat",  // 2
    "OK",  // 3
    "Annuller",  // 4
    "Lås visning",  // 5
    "Kopiér resultat til original",  // 6
    "Kontrast",  // 7
    "Lysstyrke",  // 8
    "Nuance",  // 9
    "Mætning",  // 10
    "Værdi",  // 11
    "Grundfarve",  // 12
    "Ny farve",  // 13
    "Luminans",  // 14
    "Rød",  // 15
    "Grøn",  // 16
    "Blå",  // 17
    "Filterværdier",  // 18
    "Forudindstillinger",  // 19
    "Divisor",  // 20
    "Indlæs",  // 21
    "Gem",  // 22
    "Udligning",  // 23
    "Tærskel",  // 24
    "Udlign",  // 25
    "Histogram",  // 26
    "Grå",  // 27
    "Lys",  // 28
    "Venstre",  // 29
    "Top",  // 30
    "Bredde",  // 31
    "Højde",  // 32
    "Farve",  // 33
    "Andel af originalbillede",  // 34
    "Linse",  // 35
    "Brydning",  // 36
    "Visning af parametre",  // 37
    "Kvalitet",  // 38
    "DCT-metode",  // 39
    "Udjævningsfaktor",  // 40
    "Gråtoner",  // 41
    "Optimal Huffman",  // 42
    "Originalstørrelse",  // 43
    "Komprimeret størrelse",  // 44
    "Avanceret",  // 45
    "Progressiv",  // 46
    "Komprimering",  // 47
    "Billedindeks",  // 48
    "Fotometrisk",  // 49
    "Oplysninger om scannet dokument",  // 50
    "Navn",  // 51
    "Beskrivelse",  // 52
    "Sidenavn",  // 53
    "Sidenummer",  // 54
    "af",  // 55
    "Vandr. position (tommer)",  // 56
    "Lodr. position (tommer)",  // 57
    "Farver",  // 58
    "Gennemsigtig",  // 59
    "Gennemsigtig farve",  // 60
    "Linjeflettet",  // 61
    "Baggrund",  // 62
    "Vandr. position",  // 63
    "Lodr. position",  // 64
    "Forsinkelse",  // 65
    "Filter",  // 66
    "Bølge",  // 67
    "Amplitude",  // 68
    "Bølgelængde",  // 69
    "Fase",  // 70
    "Reflekterende",  // 71
    "Brugerfilter",  // 72
    "Morfologiske filtre",  // 73
    "Vinduesstørrelse",  // 74
    "Maksimum",  // 75
    "Minimum",  // 76
    "Åbning",  // 77
    "Lukning",  // 78
    "Rotér",  // 79
    "Spejlvend",  // 80
    "Vandret",  // 81
    "Lodret",  // 82
    "Billede i frekvensdomænet",  // 83
    "Markér det område, der skal renses",  // 84
    "Ryd",  // 85
    "Nulstil",  // 86
    "Animér",  // 87
    "Indlæs filter",  // 88
    "Gem filter",  // 89
    "Reliefkort",  // 90
    "Udskriv",  // 91
    "Margener",  // 92
    "tommer",  // 93
    "Højre",  // 94
    "Bund",  // 95
    "Position",  // 96
    "Størrelse",  // 97
    "Normal",  // 98
    "Tilpas til side",  // 99
    "Stræk til side",  // 100
    "Angivet størrelse",  // 101
    "Gammakorrektion",  // 102
    "Værdi",  // 103
    "Udskriftsopsætning",  // 104
    "Venstre margen",  // 105
    "Topmargen",  // 106
    "Højre margen",  // 107
    "Bundmargen",  // 108
    "Placering/størrelse",  // 109
    "Øverst til venstre",  // 110
    "Øverst i midten",  // 111
    "Øverst til højre",  // 112
    "Midt til venstre",  // 113
    "Midte",  // 114
    "Midt til højre",  // 115
    "Nederst til venstre",  // 116
    "Nederst i midten",  // 117
    "Nederst til højre",  // 118
    "Luk",  // 119
    "Anvend",  // 120
    "Måleenheder",  // 121
    "Enheder",  // 122
    "Forhold",  // 123
    "Al grafik",  // 124
    "Video til Windows",  // 125
    "Fil",  // 126
    "Hukommelse",  // 127
    "Opdaterer automatisk visningen med de ændringer, du har valgt",  // 128
    "Udskriv alle",  // 129
    "Udskriv markerede",  // 130
    "Almindelige grafikfiler",  // 131
    "Alle filer",  // 132
    "HSV",  // 133
    "HSL",  // 134
    "RGB",  // 135
    "FFT",  // 136
    "Gør skarpere",  // 137
    "Kanaler",  // 138
    "pixel",  // 139
    "billeder",  // 140
    "bit",  // 141
    "byte",  // 142
    "dpi",  // 143
    "KB",  // 144
    "Fit",  // 145
};
// clang-format on

// clang-format off
const char* const kTurkish[IEWordCount] = {
    "Önizleme",  // 0
    "Orijinal",  // 1
    "Sonuç",  // 2
    "Tamam",  // 3
    "İptal",  // 4
    "Önizlemeyi kilitle",  // 5
    "Sonucu orijinale kopyala",  // 6
    "Kontrast",  // 7
    "Parlaklık",  // 8
    "Renk tonu",  // 9
    "Doygunluk",  // 10
    "Değer",  // 11
    "Temel renk",  // 12
    "Yeni renk",  // 13
    "Işıklılık",  // 14
    "Kırmızı",  // 15
    "Yeşil",  // 16
    "Mavi",  // 17
    "Filtre değerleri",  // 18
    "Hazır ayarlar",  // 19
    "Bölen",  // 20
    "Yükle",  // 21
    "Kaydet",  // 22
    "Eşitleme",  // 23
    "Eşik",  // 24
    "Eşitle",  // 25
    "Histogram",  // 26
    "Gri",  // 27
    "Işık",  // 28
    "Sol",  // 29
    "Üst",  // 30
    "Genişlik",  // 31
    "Yükseklik",  // 32
    "Renk",  // 33
    "Orijinal görüntü miktarı",  // 34
    "Mercek",  // 35
    "Kırılma",  // 36
    "Parametre önizleme",  // 37
    "Kalite",  // 38
    "DCT yöntemi",  // 39
    "Yumuşatma katsayısı",  // 40
    "Gri tonlama",  // 41
    "En iyi Huffman",  // 42
    "Orijinal boyut",  // 43
    "Sıkıştırılmış boyut",  // 44
    "Gelişmiş",  // 45
    "Aşamalı",  // 46
    "Sıkıştırma",  // 47
    "Görüntü dizini",  // 48
    "Fotometrik",  // 49
    "Taranan belge bilgisi",  // 50
    "Ad",  // 51
    "Açıklama",  // 52
    "Sayfa adı",  // 53
    "Sayfa numarası",  // 54
    "/",  // 55
    "Yatay konum (inç)",  // 56
    "Dikey konum (inç)",  // 57
    "Renkler",  // 58
    "Saydam",  // 59
    "Saydam renk",  // 60
    "Taramalı",  // 61
    "Arka plan",  // 62
    "Yatay konum",  // 63
    "Dikey konum",  // 64
    "Gecikme süresi",  // 65
    "Filtre",  // 66
    "Dalga",  // 67
    "Genlik",  // 68
    "Dalga boyu",  // 69
    "Faz",  // 70
    "Yansıtıcı",  // 71
    "Kullanıcı filtresi",  // 72
    "Morfolojik filtreler",  // 73
    "Pencere boyutu",  // 74
    "En büyük",  // 75
    "En küçük",  // 76
    "Açma",  // 77
    "Kapama",  // 78
    "Döndür",  // 79
    "Çevir",  // 80
    "Yatay",  // 81
    "Dikey",  // 82
    "Frekans alanı görüntüsü",  // 83
    "Temizlenecek bölgeyi seçin",  // 84
    "Temizle",  // 85
    "Sıfırla",  // 86
    "Canlandır",  // 87
    "Filtre yükle",  // 88
    "Filtre kaydet",  // 89
    "Kabartma haritası",  // 90
    "Yazdır",  // 91
    "Kenar boşlukları",  // 92
    "inç",  // 93
    "Sağ",  // 94
    "Alt",  // 95
    "Konum",  // 96
    "Boyut",  // 97
    "Normal",  // 98
    "Sayfaya sığdır",  // 99
    "Sayfaya uzat",  // 100
    "Belirtilen boyut",  // 101
    "Gama düzeltmesi",  // 102
    "Değer",  // 103
    "Yazdırma ayarları",  // 104
    "Sol kenar boşluğu",  // 105
    "Üst kenar boşluğu",  // 106
    "Sağ kenar boşluğu",  // 107
    "Alt kenar boşluğu",  // 108
    "Konum/boyut",  // 109
    "Sol üst",  // 110
    "Orta üst",  // 111
    "Sağ üst",  // 112
    "Sol orta",  // 113
    "Orta",  // 114
    "Sağ orta",  // 115
    "Sol alt",  // 116
    "Orta alt",  // 117
    "Sağ alt",  // 118
    "Kapat",  // 119
    "Uygula",  // 120
    "Ölçü birimleri",  // 121
    "Birimler",  // 122
    "Oran",  // 123
    "Tüm grafikler",  // 124
    "Windows için Video",  // 125
    "Dosya",  // 126
    "Bellek",  // 127
    "Önizlemeyi seçtiğiniz değişikliklerle otomatik olarak günceller",  // 128
    "Tümünü yazdır",  // 129
    "Seçileni yazdır",  // 130
    "Yaygın grafik dosyaları",  // 131
    "Tüm dosyalar",  // 132
    "HSV",  // 133
    "HSL",  // 134
    "RGB",  // 135
    "FFT",  // 136
    "Keskinleştir",  // 137
    "Kanallar",  // 138
    "piksel",  // 139
    "kare",  // 140
    "bit",  // 141
    "bayt",  // 142
    "dpi",  // 143
    "KB",  // 144
    "Fit",  // 145
};
// clang-format on

const char* const kKorean[IEWordCount] = {
    "미리보기",                                                 // 0
    "원본",                                                     // 1
    "결과",                                                     // 2
    "확인",                                                     // 3
    "취소",                                                     // 4
    "미리보기 잠금",                                            // 5
    "결과를 원본에 복사",                                       // 6
    "대비",                                                     // 7
    "밝기",                                                     // 8
    "색조",                                                     // 9
    "채도",                                                     // 10
    "명도",                                                     // 11
    "기본 색",                                                  // 12
    "새 색",                                                    // 13
    "광도",                                                     // 14
    "빨강",                                                     // 15
    "초록",                                                     // 16
    "파랑",                                                     // 17
    "필터 값",                                                  // 18
    "사전 설정",                                                // 19
    "제수",                                                     // 20
    "불러오기",                                                 // 21
    "저장",                                                     // 22
    "평활화",                                                   // 23
    "임계값",                                                   // 24
    "평활화 적용",                                              // 25
    "히스토그램",                                               // 26
    "회색",                                                     // 27
    "조명",                                                     // 28
    "왼쪽",                                                     // 29
    "위쪽",                                                     // 30
    "너비",                                                     // 31
    "높이",                                                     // 32
    "색",                                                       // 33
    "원본 이미지 비율",                                         // 34
    "렌즈",                                                     // 35
    "굴절",                                                     // 36
    "매개변수 미리보기",                                        // 37
    "품질",                                                     // 38
    "DCT 방식",                                                 // 39
    "평활 계수",                                                // 40
    "회색조",                                                   // 41
    "최적 허프만",                                              // 42
    "원본 크기",                                                // 43
    "압축 크기",                                                // 44
    "고급",                                                     // 45
    "프로그레시브",                                             // 46
    "압축",                                                     // 47
    "이미지 번호",                                              // 48
    "광도 해석",                                                // 49
    "스캔한 문서 정보",                                         // 50
    "이름",                                                     // 51
    "설명",                                                     // 52
    "페이지 이름",                                              // 53
    "페이지 번호",                                              // 54
    "/",                                                        // 55
    "가로 위치 (인치)",                                         // 56
    "세로 위치 (인치)",                                         // 57
    "색상 수",                                                  // 58
    "투명",                                                     // 59
    "투명 색",                                                  // 60
    "인터레이스",                                               // 61
    "배경",                                                     // 62
    "가로 위치",                                                // 63
    "세로 위치",                                                // 64
    "지연 시간",                                                // 65
    "필터",                                                     // 66
    "물결",                                                     // 67
    "진폭",                                                     // 68
    "파장",                                                     // 69
    "위상",                                                     // 70
    "반사",                                                     // 71
    "사용자 필터",                                              // 72
    "형태학 필터",                                              // 73
    "창 크기",                                                  // 74
    "최대",                                                     // 75
    "최소",                                                     // 76
    "열림",                                                     // 77
    "닫힘",                                                     // 78
    "회전",                                                     // 79
    "뒤집기",                                                   // 80
    "가로",                                                     // 81
    "세로",                                                     // 82
    "주파수 영역 이미지",                                       // 83
    "지울 영역을 선택하십시오",                                 // 84
    "지우기",                                                   // 85
    "재설정",                                                   // 86
    "애니메이션",                                               // 87
    "필터 불러오기",                                            // 88
    "필터 저장",                                                // 89
    "범프 맵",                                                  // 90
    "인쇄",                                                     // 91
    "여백",                                                     // 92
    "인치",                                                     // 93
    "오른쪽",                                                   // 94
    "아래쪽",                                                   // 95
    "위치",                                                     // 96
    "크기",                                                     // 97
    "보통",                                                     // 98
    "페이지에 맞춤",                                            // 99
    "페이지에 늘이기",                                          // 100
    "지정한 크기",                                              // 101
    "감마 보정",                                                // 102
    "값",                                                       // 103
    "인쇄 설정",                                                // 104
    "왼쪽 여백",                                                // 105
    "위쪽 여백",                                                // 106
    "오른쪽 여백",                                              // 107
    "아래쪽 여백",                                              // 108
    "위치/크기",                                                // 109
    "왼쪽 위",                                                  // 110
    "가운데 위",                                                // 111
    "오른쪽 위",                                                // 112
    "왼쪽 가운데",                                              // 113
    "가운데",                                                   // 114
    "오른쪽 가운데",                                            // 115
    "왼쪽 아래",                                                // 116
    "가운데 아래",                                              // 117
    "오른쪽 아래",                                              // 118
    "닫기",                                                     // 119
    "적용",                                                     // 120
    "측정 단위",                                                // 121
    "단위",                                                     // 122
    "비율",                                                     // 123
    "모든 그래픽",                                              // 124
    "Video for Windows",                                        // 125
    "파일",                                                     // 126
    "메모리",                                                   // 127
    "선택한 변경 사항으로 미리보기를 자동으로 업데이트합니다",  // 128
    "모두 인쇄",                                                // 129
    "선택 항목 인쇄",                                           // 130
    "일반 그래픽 파일",                                         // 131
    "모든 파일",                                                // 132
    "HSV",                                                      // 133
    "HSL",                                                      // 134
    "RGB",                                                      // 135
    "FFT",                                                      // 136
    "선명하게",                                                 // 137
    "채널",                                                     // 138
    "픽셀",                                                     // 139
    "프레임",                                                   // 140
    "비트",                                                     // 141
    "바이트",                                                   // 142
    "dpi",                                                      // 143
    "KB",                                                       // 144
    "Fit",                                                      // 145
};

const char* const kHungarian[IEWordCount] = {
    "Előnézet",                                                            // 0
    "Eredeti",                                                             // 1
    "Eredmény",                                                            // 2
    "OK",                                                                  // 3
    "Mégse",                                                               // 4
    "Előnézet zárolása",                                                   // 5
    "Eredmény másolása az eredetibe",                                      // 6
    "Kontraszt",                                                           // 7
    "Fényerő",                                                             // 8
    "Színárnyalat",                                                        // 9
    "Telítettség",                                                         // 10
    "Érték",                                                               // 11
    "Alapszín",                                                            // 12
    "Új szín",                                                             // 13
    "Fénysűrűség",                                                         // 14
    "Vörös",                                                               // 15
    "Zöld",                                                                // 16
    "Kék",                                                                 // 17
    "Szűrőértékek",                                                        // 18
    "Előbeállítások",                                                      // 19
    "Osztó",                                                               // 20
    "Betöltés",                                                            // 21
    "Mentés",                                                              // 22
    "Kiegyenlítés",                                                        // 23
    "Küszöb",                                                              // 24
    "Kiegyenlít",                                                          // 25
    "Hisztogram",                                                          // 26
    "Szürke",                                                              // 27
    "Fény",                                                                // 28
    "Bal",                                                                 // 29
    "Felső",                                                               // 30
    "Szélesség",                                                           // 31
    "Magasság",                                                            // 32
    "Szín",                                                                // 33
    "Eredeti kép aránya",                                                  // 34
    "Lencse",                                                              // 35
    "Fénytörés",                                                           // 36
    "Paraméterek előnézete",                                               // 37
    "Minőség",                                                             // 38
    "DCT-módszer",                                                         // 39
    "Simítási tényező",                                                    // 40
    "Szürkeárnyalatos",                                                    // 41
    "Optimális Huffman",                                                   // 42
    "Eredeti méret",                                                       // 43
    "Tömörített méret",                                                    // 44
    "Speciális",                                                           // 45
    "Progresszív",                                                         // 46
    "Tömörítés",                                                           // 47
    "Képindex",                                                            // 48
    "Fotometria",                                                          // 49
    "Beolvasott dokumentum adatai",                                        // 50
    "Név",                                                                 // 51
    "Leírás",                                                              // 52
    "Oldal neve",                                                          // 53
    "Oldalszám",                                                           // 54
    "/",                                                                   // 55
    "Vízsz. pozíció (hüvelyk)",                                            // 56
    "Függ. pozíció (hüvelyk)",                                             // 57
    "Színek",                                                              // 58
    "Átlátszó",                                                            // 59
    "Átlátszó szín",                                                       // 60
    "Váltottsoros",                                                        // 61
    "Háttér",                                                              // 62
    "Vízsz. pozíció",                                                      // 63
    "Függ. pozíció",                                                       // 64
    "Késleltetési idő",                                                    // 65
    "Szűrő",                                                               // 66
    "Hullám",                                                              // 67
    "Amplitúdó",                                                           // 68
    "Hullámhossz",                                                         // 69
    "Fázis",                                                               // 70
    "Tükröző",                                                             // 71
    "Felhasználói szűrő",                                                  // 72
    "Morfológiai szűrők",                                                  // 73
    "Ablakméret",                                                          // 74
    "Maximum",                                                             // 75
    "Minimum",                                                             // 76
    "Nyitás",                                                              // 77
    "Zárás",                                                               // 78
    "Forgatás",                                                            // 79
    "Tükrözés",                                                            // 80
    "Vízszintes",                                                          // 81
    "Függőleges",                                                          // 82
    "Frekvenciatartománybeli kép",                                         // 83
    "Jelölje ki a tisztítandó területet",                                  // 84
    "Törlés",                                                              // 85
    "Alaphelyzet",                                                         // 86
    "Animálás",                                                            // 87
    "Szűrő betöltése",                                                     // 88
    "Szűrő mentése",                                                       // 89
    "Domborzati térkép",                                                   // 90
    "Nyomtatás",                                                           // 91
    "Margók",                                                              // 92
    "hüvelyk",                                                             // 93
    "Jobb",                                                                // 94
    "Alsó",                                                                // 95
    "Pozíció",                                                             // 96
    "Méret",                                                               // 97
    "Normál",                                                              // 98
    "Oldalhoz igazítás",                                                   // 99
    "Nyújtás az oldalra",                                                  // 100
    "Megadott méret",                                                      // 101
    "Gammakorrekció",                                                      // 102
    "Érték",                                                               // 103
    "Nyomtatási beállítások",                                              // 104
    "Bal margó",                                                           // 105
    "Felső margó",                                                         // 106
    "Jobb margó",                                                          // 107
    "Alsó margó",                                                          // 108
    "Hely/méret",                                                          // 109
    "Bal felső",                                                           // 110
    "Középen felül",                                                       // 111
    "Jobb felső",                                                          // 112
    "Bal középen",                                                         // 113
    "Közép",                                                               // 114
    "Jobb középen",                                                        // 115
    "Bal alsó",                                                            // 116
    "Középen alul",                                                        // 117
    "Jobb alsó",                                                           // 118
    "Bezárás",                                                             // 119
    "Alkalmaz",                                                            // 120
    "Mértékegységek",                                                      // 121
    "Egységek",                                                            // 122
    "Arány",                                                               // 123
    "Minden grafika",                                                      // 124
    "Video for Windows",                                                   // 125
    "Fájl",                                                                // 126
    "Memória",                                                             // 127
    "Automatikusan frissíti az előnézetet a kiválasztott módosításokkal",  // 128
    "Összes nyomtatása",                                                   // 129
    "Kijelöltek nyomtatása",                                               // 130
    "Gyakori grafikus fájlok",                                             // 131
    "Minden fájl",                                                         // 132
    "HSV",                                                                 // 133
    "HSL",                                                                 // 134
    "RGB",                                                                 // 135
    "FFT",                                                                 // 136
    "Élesítés",                                                            // 137
    "Csatornák",                                                           // 138
    "képpont",                                                             // 139
    "képkocka",                                                            // 140
    "bit",                                                                 // 141
    "bájt",                                                                // 142
    "dpi",                                                                 // 143
    "KB",                                                                  // 144
    "Fit",                                                                 // 145
};

}  // namespace

const TIEWordRow IEWordRows[IEFilledLanguageCount] = {
    {msEnglish, kEnglish},
    {msItalian, kItalian},
    {msGerman, kGerman},
    {msSpanish, kSpanish},
    {msFrench, kFrench},
    {msPortuguese, kPortuguese},
    {msGreek, kGreek},
    {msRussian, kRussian},
    {msDutch, kDutch},
    {msSwedish, kSwedish},
    {msPolish, kPolish},
    {msJapanese, kJapanese},
    {msCzech, kCzech},
    {msFinnish, kFinnish},
    {msFarsi, kFarsi},
    {msChinese, kChinese},
    {msChineseTraditional, kChineseTraditional},
    {msDanish, kDanish},
    {msTurkish, kTurkish},
    {msKorean, kKorean},
    {msHungarian, kHungarian},
};

}  // namespace ie
