# The sample's sound effects: two WAV files made by sox, two MP3 files made
# by sox and encoded by lame. sox -R keeps the noise the same on every build.
#   cmake -DSOX=... -DLAME=... -DDEST=folder -P make-sounds.cmake
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed ERROR_VARIABLE err)
  if(failed)
    message(FATAL_ERROR "${ARGN}: ${err}")
  endif()
endfunction()

set(raw -R -n -r 22050 -c 1 -b 16)
# Footsteps on leaves: four soft bursts of noise.
run(${SOX} ${raw} ${DEST}/passos.wav synth 0.12 brownnoise fade q 0.005 0.12 0.09 pad 0 0.25 repeat 3 vol 0.9)
# A door creaking open.
run(${SOX} ${raw} ${DEST}/porta.wav synth 1.1 sawtooth 190-95 tremolo 22 70 lowpass 2500 fade 0.05 1.1 0.3 vol 0.5)

set(tmp ${DEST}/../sounds.tmp)
file(MAKE_DIRECTORY ${tmp})
# Wind through the trees.
run(${SOX} ${raw} ${tmp}/vento.wav synth 4 pinknoise band -n 500 300 tremolo 0.4 70 fade 0.6 4 1.2 vol 0.6)
# A bell far away.
run(${SOX} ${raw} ${tmp}/sino.wav synth 3 pluck A4 fade 0 3 2.6 vol 0.7)
foreach(name vento sino)
  run(${LAME} --quiet -t -b 64 ${tmp}/${name}.wav ${DEST}/${name}.mp3)
endforeach()
file(REMOVE_RECURSE ${tmp})
